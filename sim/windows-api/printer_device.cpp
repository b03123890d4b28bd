// SPDX-License-Identifier: GPL-2.0-only
// The printer driver of each simulated printer: its device path and two
// pipes as kernel32 opens them, the output pipe's writes and the input
// pipe's reads, and the device's I/O control requests. What the printer
// answers and keeps is the printer model's (printer_model.h).
#include "internal.h"

#include <strings.h>

#include <algorithm>

namespace standin {

namespace {

bool ends_with_nocase(const std::string &text, const std::string &tail, std::string &head) {
    if (text.size() < tail.size() ||
        strcasecmp(text.c_str() + text.size() - tail.size(), tail.c_str()) != 0) {
        return false;
    }
    head = text.substr(0, text.size() - tail.size());
    return true;
}

long interface_by_path(const std::string &path) {
    const auto &list = internal().system.interfaces;
    for (std::size_t i = 0; i < list.size(); i++) {
        if (!list[i].path.empty() && strcasecmp(list[i].path.c_str(), path.c_str()) == 0) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

void printer_receives(Printer &printer, const unsigned char *data, DWORD count) {
    printer.received_count += count;
    switch (printer.keep) {
    case Printer::Keep::bytes:
        printer.received.insert(printer.received.end(), data, data + count);
        break;
    case Printer::Keep::count:
        break;
    case Printer::Keep::stream:
        if (printer.stream != nullptr) {
            std::fwrite(data, 1, count, printer.stream);
        }
        break;
    }
}

BOOL answer_device_id(Interface &iface, LPVOID output, DWORD output_size, LPDWORD returned) {
    if (iface.id_request_fails) {
        return fail(ERROR_GEN_FAILURE);
    }
    std::size_t reported = 0;
    printer_model_device_id(&iface.printer.model, static_cast<unsigned char *>(output), output_size,
                            &reported);
    *returned = static_cast<DWORD>(reported);
    return TRUE;
}

} // namespace

bool printer_object(const std::string &path, Object &object) {
    std::string head;
    long iface = interface_by_path(path);
    if (iface >= 0) {
        object.kind = Kind::device;
    } else if (ends_with_nocase(path, "\\PIPE00", head) && (iface = interface_by_path(head)) >= 0) {
        object.kind = Kind::out_pipe;
    } else if (ends_with_nocase(path, "\\PIPE01", head) && (iface = interface_by_path(head)) >= 0) {
        object.kind = Kind::in_pipe;
    } else {
        return false;
    }
    object.iface = static_cast<std::size_t>(iface);
    return true;
}

DWORD printer_open_error(const Object &object) {
    Interface &device = sys().interfaces[object.iface];
    Printer &printer = device.printer;
    if (object.kind == Kind::device && device.open_error != 0) {
        return device.open_error;
    }
    if (object.kind == Kind::out_pipe) {
        printer.out_opens++;
        if (printer.out_open_fail_from > 0 && printer.out_opens >= printer.out_open_fail_from) {
            return printer.pipe_open_error;
        }
    }
    if (object.kind == Kind::in_pipe) {
        printer.in_opens++;
        if (printer.in_open_fail_from > 0 && printer.in_opens >= printer.in_open_fail_from) {
            return printer.pipe_open_error;
        }
    }
    return 0;
}

DWORD read_in_pipe(const Object &pipe, void *buffer, DWORD count, DWORD *done) {
    std::size_t got = 0;
    int result = printer_model_read(&sys().interfaces[pipe.iface].printer.model,
                                    static_cast<unsigned char *>(buffer), count, &got);
    *done = static_cast<DWORD>(got);
    switch (result) {
    case PRINTER_READ_OK:
        return 0;
    case PRINTER_READ_OVERFLOW:
        return ERROR_GEN_FAILURE;
    default:
        return ERROR_SEM_TIMEOUT;
    }
}

DWORD write_out_pipe(const Object &pipe, const void *data, DWORD count, DWORD *done) {
    Printer &printer = sys().interfaces[pipe.iface].printer;
    const unsigned char *bytes = static_cast<const unsigned char *>(data);
    printer.writes++;
    printer.largest_write = std::max(printer.largest_write, count);
    DWORD taken = count;
    bool short_write = printer.short_write_at > 0 &&
                       printer.writes == static_cast<std::uint64_t>(printer.short_write_at);
    if (short_write) {
        taken = std::min(count, printer.short_write_accepts);
    }
    if (printer_model_write(&printer.model, bytes, count, taken) == PRINTER_ESCAPE) {
        printer.commands.emplace_back(bytes, bytes + count);
    } else {
        if (printer.keep == Printer::Keep::bytes) {
            printer.write_sizes.push_back(taken);
        }
        printer_receives(printer, bytes, taken);
    }
    *done = taken;
    return short_write ? printer.short_write_error : 0;
}

} // namespace standin

using namespace standin;

extern "C" BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD input_size,
                                       LPVOID output, DWORD output_size, LPDWORD returned,
                                       LPOVERLAPPED overlapped) {
    std::string args =
        handle_text(device) + ", " + hex(code) + ", in=" + std::to_string(input_size) +
        ", out=" + std::to_string(output_size) + (overlapped != nullptr ? ", overlapped" : "");
    Ioctl record{code, Bytes(), output_size, false, 0};
    if (input != nullptr) {
        const unsigned char *in = static_cast<const unsigned char *>(input);
        record.input.assign(in, in + input_size);
    }
    BOOL ok = FALSE;
    DWORD error = 0;
    DWORD count = 0;
    Object *object = find_handle(device);
    if (returned == nullptr) {
        misuse("DeviceIoControl without a byte count");
        error = ERROR_INVALID_PARAMETER;
    } else if (object == nullptr || object->kind == Kind::device_set) {
        error = ERROR_INVALID_HANDLE;
    } else if (overlapped != nullptr) {
        error = ERROR_INVALID_PARAMETER;
    } else if (object->kind != Kind::device) {
        error = ERROR_INVALID_FUNCTION;
    } else {
        Interface &iface = sys().interfaces[object->iface];
        bool alt = same_guid(iface.interface_class, alt_class);
        if ((!alt && code == PRINTER_IOCTL_USBPRINT_DEVICE_ID) ||
            (alt && code == PRINTER_IOCTL_ALT_DEVICE_ID)) {
            ok = answer_device_id(iface, output, output_size, &count);
            error = ok ? 0 : ERROR_GEN_FAILURE;
        } else if (alt && code == PRINTER_IOCTL_ALT_SETUP) {
            if (iface.setup_request_fails) {
                error = ERROR_GEN_FAILURE;
            } else {
                count = static_cast<DWORD>(
                    printer_model_setup_answer(static_cast<unsigned char *>(output), output_size));
                ok = TRUE;
            }
        } else {
            error = ERROR_INVALID_FUNCTION;
        }
    }
    if (returned != nullptr) {
        *returned = count;
    }
    record.ok = ok != FALSE;
    record.returned = count;
    sys().ioctls.push_back(record);
    log_call("DeviceIoControl", args,
             ok ? "TRUE " + std::to_string(count) : "FALSE error=" + std::to_string(error));
    if (!ok) {
        fail(error);
    }
    return ok;
}
