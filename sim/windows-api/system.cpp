// SPDX-License-Identifier: GPL-2.0-only
// The simulated system's shared state: the handle table with its sharing
// checks, the call log and the last error; and the inspection API that
// tests and the run summary read it through.
#include "internal.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace standin {

const GUID usbprint_class = {
    0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};
const GUID alt_class = {
    0x76F4B720, 0xF62F, 0x11D1, {0x9C, 0x52, 0x00, 0x00, 0x83, 0x61, 0x2A, 0xA1}};

Internal &internal() {
    static Internal state;
    return state;
}

bool same_guid(const GUID &a, const GUID &b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

std::string hex(std::uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string handle_text(HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE) {
        return "INVALID_HANDLE_VALUE";
    }
    return "h" + hex(reinterpret_cast<std::uintptr_t>(handle));
}

void log_call(const std::string &function, const std::string &args, const std::string &result) {
    System &s = internal().system;
    if (s.calls.size() < s.max_logged_calls) {
        s.calls.push_back({function, args, result});
    } else {
        s.calls_not_logged++;
    }
}

void misuse(const std::string &what) {
    internal().system.misuse.push_back(what);
}

BOOL fail(DWORD error) {
    internal().last_error = error;
    return FALSE;
}

BOOL log_bool(const char *call, const std::string &args, BOOL ok, DWORD error) {
    System &s = internal().system;
    if (s.calls.size() >= s.max_logged_calls) {
        s.calls_not_logged++;
    } else {
        log_call(call, args, ok ? "TRUE" : "FALSE error=" + std::to_string(error));
    }
    return ok ? TRUE : fail(error);
}

HANDLE new_handle(Object object) {
    Internal &in = internal();
    std::uintptr_t value = in.next_handle;
    in.next_handle += 4;
    in.handles.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

Object *find_handle(HANDLE handle) {
    auto &handles = internal().handles;
    auto it = handles.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == handles.end() ? nullptr : &it->second;
}

bool conflicts(const Object &wanted, DWORD share) {
    for (const auto &entry : internal().handles) {
        const Object &held = entry.second;
        bool same;
        if (wanted.kind == Kind::file) {
            same = held.kind == Kind::file && held.file_dev == wanted.file_dev &&
                   held.file_ino == wanted.file_ino;
        } else if (wanted.kind == Kind::device_set || held.kind == Kind::file ||
                   held.kind == Kind::device_set || held.iface != wanted.iface) {
            same = false;
        } else {
            same = held.kind == wanted.kind || held.kind == Kind::device ||
                   wanted.kind == Kind::device;
        }
        if (same && (share == 0 || held.share == 0)) {
            return true;
        }
    }
    return false;
}

System &sys() {
    return internal().system;
}

void reset() {
    Internal &in = internal();
    for (auto &entry : in.handles) {
        if (entry.second.fd >= 0) {
            close(entry.second.fd);
        }
    }
    for (Interface &iface : in.system.interfaces) {
        if (iface.printer.stream != nullptr) {
            std::fclose(iface.printer.stream);
        }
    }
    in.handles.clear();
    in.blocks.clear();
    in.system = System();
    in.last_error = 0;
    in.next_handle = 0x1000;
}

Interface &add_printer(const GUID &interface_class, const std::string &path,
                       const std::string &device_id) {
    Interface iface;
    iface.interface_class = interface_class;
    iface.path = path;
    printer_model_set_device_id(&iface.printer.model, device_id.data(), device_id.size());
    sys().interfaces.push_back(std::move(iface));
    return sys().interfaces.back();
}

std::vector<std::string> open_handles() {
    std::vector<std::string> list;
    for (const auto &entry : internal().handles) {
        list.push_back(handle_text(reinterpret_cast<HANDLE>(entry.first)) + " " +
                       entry.second.name);
    }
    return list;
}

std::vector<std::string> live_blocks() {
    std::vector<std::string> list;
    for (const auto &entry : internal().blocks) {
        list.push_back("block of " + std::to_string(entry.second.size) + " bytes, " +
                       std::to_string(entry.second.locks) + " locks");
    }
    return list;
}

std::vector<std::string> call_names() {
    std::vector<std::string> names;
    for (const Call &call : sys().calls) {
        names.push_back(call.function);
    }
    return names;
}

void write_summary(std::FILE *out) {
    std::uint64_t received = 0, writes = 0;
    DWORD largest = 0;
    for (const Interface &iface : sys().interfaces) {
        received += iface.printer.received_count;
        writes += iface.printer.writes;
        largest = std::max(largest, iface.printer.largest_write);
    }
    std::fprintf(out, "received_bytes=%llu\n", static_cast<unsigned long long>(received));
    std::fprintf(out, "writes=%llu\n", static_cast<unsigned long long>(writes));
    std::fprintf(out, "largest_write=%u\n", static_cast<unsigned>(largest));
    std::fprintf(out, "open_handles=%zu\n", open_handles().size());
    for (const std::string &h : open_handles()) {
        std::fprintf(out, "open_handle=%s\n", h.c_str());
    }
    std::fprintf(out, "live_blocks=%zu\n", live_blocks().size());
    std::fprintf(out, "misuse=%zu\n", sys().misuse.size());
    for (const std::string &m : sys().misuse) {
        std::fprintf(out, "misuse_entry=%s\n", m.c_str());
    }
    std::fprintf(out, "sleeps=%zu\n", sys().sleeps.size());
    std::fprintf(out, "calls=%llu\n",
                 static_cast<unsigned long long>(sys().calls.size() + sys().calls_not_logged));
}

} // namespace standin
