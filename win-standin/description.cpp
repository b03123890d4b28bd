// Printer description files for the command-line build.
//
// One setting per line, key=value; blank lines and lines starting with '#'
// are ignored. Settings of the system:
//   windows=95|98|me|nt4|2000|xp|vista|fail   (default xp; fail: GetVersionExA fails)
//   module=<path>              what GetModuleFileNameA reports
//   time=YYYY-MM-DD HH:MM:SS   local time (default: the host clock)
//   summary=<file>             summary of the run, written at exit
//   state=<file>               what the printers keep across runs (default:
//                              the description's name + ".state")
//   file_open_fail_at=<n>      the n-th open of a data file fails
//   file_read_fail_at=<n>      the n-th read of a data file fails
//   global_alloc_fails=1, global_lock_fails=1
// "interface=usbprint" or "interface=alt" starts a printer; the settings
// after it belong to that printer:
//   path=<device interface path>
//   enum_error=<n>, open_error=<n>, id_request_fails=1, setup_request_fails=1,
//   fetch_fails=1, size_query_fails=1
//   output=<file>|discard|keep what the output pipe receives goes to the file,
//                              is only counted, or is kept in memory (default)
//   short_write_at=<n>, short_write_accepts=<n>
//   out_open_fail_from=<n>, in_open_fail_from=<n>
//   the printer model's settings (printer_model.h): device_id=<text> (the
//   reply adds the 2-byte prefix), id_count=<n>, serial=<16 characters>
//   and the faults of the serial-number answers.
// This file is only read. A serial number a printer stores goes to the state
// file, one line per printer in order ("serial=" and the value, bytes other
// than '!'..'~' and '%' as %XX); when that file exists its serial numbers
// replace the described ones.
// The summary file holds key=value lines: received_bytes, writes,
// largest_write, open_handles (and one open_handle line per handle),
// live_blocks, misuse (and misuse_entry lines), sleeps, calls.
#include "standin.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace standin {

namespace {

bool number(const std::string &text, long &value) {
    char *end = nullptr;
    value = std::strtol(text.c_str(), &end, 0);
    return !text.empty() && end != nullptr && *end == '\0';
}

std::string set_version(const std::string &value) {
    static const struct {
        const char *name;
        Version version;
    } names[] = {{"95", Version::win95},   {"98", Version::win98},     {"me", Version::winme},
                 {"nt4", Version::nt4},    {"2000", Version::win2000}, {"xp", Version::xp},
                 {"vista", Version::vista}};
    if (value == "fail") {
        sys().version_fails = true;
        return "";
    }
    for (const auto &entry : names) {
        if (value == entry.name) {
            sys().version = entry.version;
            return "";
        }
    }
    return "unknown windows version " + value;
}

std::string set_time(const std::string &value) {
    int y, mo, d, h, mi, s;
    if (std::sscanf(value.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6) {
        return "bad time " + value;
    }
    SYSTEMTIME &t = sys().local_time;
    t.wYear = static_cast<WORD>(y);
    t.wMonth = static_cast<WORD>(mo);
    t.wDay = static_cast<WORD>(d);
    t.wHour = static_cast<WORD>(h);
    t.wMinute = static_cast<WORD>(mi);
    t.wSecond = static_cast<WORD>(s);
    t.wMilliseconds = 0;
    return "";
}

std::string set_interface(Interface &iface, const std::string &key, const std::string &value) {
    long n = 0;
    bool numeric = number(value, n);
    int model = printer_model_setting(&iface.printer.model, key.c_str(), value.c_str());
    if (model == PRINTER_SETTING_BAD) {
        return "bad value for " + key + ": " + value;
    } else if (model == PRINTER_SETTING_OK) {
        return "";
    } else if (key == "path") {
        iface.path = value;
    } else if (key == "output") {
        Printer &p = iface.printer;
        if (value == "discard") {
            p.keep = Printer::Keep::count;
        } else if (value == "keep") {
            p.keep = Printer::Keep::bytes;
        } else {
            p.keep = Printer::Keep::stream;
            p.stream = std::fopen(value.c_str(), "wb");
            if (p.stream == nullptr) {
                return "cannot create " + value;
            }
        }
    } else if (!numeric) {
        return "unknown or non-numeric setting " + key;
    } else if (key == "enum_error") {
        iface.enum_error = static_cast<DWORD>(n);
    } else if (key == "open_error") {
        iface.open_error = static_cast<DWORD>(n);
    } else if (key == "id_request_fails") {
        iface.id_request_fails = n != 0;
    } else if (key == "setup_request_fails") {
        iface.setup_request_fails = n != 0;
    } else if (key == "fetch_fails") {
        iface.fetch_fails = n != 0;
    } else if (key == "size_query_fails") {
        iface.size_query_fails = n != 0;
    } else if (key == "short_write_at") {
        iface.printer.short_write_at = static_cast<int>(n);
    } else if (key == "short_write_accepts") {
        iface.printer.short_write_accepts = static_cast<DWORD>(n);
    } else if (key == "out_open_fail_from") {
        iface.printer.out_open_fail_from = static_cast<int>(n);
    } else if (key == "in_open_fail_from") {
        iface.printer.in_open_fail_from = static_cast<int>(n);
    } else {
        return "unknown setting " + key;
    }
    return "";
}

} // namespace

std::string load_description(const std::string &file_name) {
    std::ifstream in(file_name);
    if (!in) {
        return "cannot read " + file_name;
    }
    std::string line;
    int line_number = 0;
    Interface *current = nullptr;
    while (std::getline(in, line)) {
        line_number++;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            return file_name + ":" + std::to_string(line_number) + ": no '='";
        }
        std::string key = line.substr(0, eq);
        std::string value = line.substr(eq + 1);
        long n = 0;
        bool numeric = number(value, n);
        std::string error;
        if (key == "interface") {
            if (value != "usbprint" && value != "alt") {
                error = "unknown interface class " + value;
            } else {
                current = &add_printer(value == "alt" ? alt_class : usbprint_class, "", "");
            }
        } else if (key == "windows") {
            error = set_version(value);
        } else if (key == "module") {
            sys().module_path = value;
        } else if (key == "time") {
            error = set_time(value);
        } else if (key == "summary") {
            sys().summary_path = value;
        } else if (key == "state") {
            sys().state_path = value;
        } else if (key == "file_open_fail_at" && numeric) {
            sys().file_open_fail_at = static_cast<int>(n);
        } else if (key == "file_read_fail_at" && numeric) {
            sys().file_read_fail_at = static_cast<int>(n);
        } else if (key == "global_alloc_fails" && numeric) {
            sys().global_alloc_fails = n != 0;
        } else if (key == "global_lock_fails" && numeric) {
            sys().global_lock_fails = n != 0;
        } else if (current != nullptr) {
            error = set_interface(*current, key, value);
        } else {
            error = "unknown setting " + key;
        }
        if (!error.empty()) {
            return file_name + ":" + std::to_string(line_number) + ": " + error;
        }
    }
    return "";
}

std::string load_state(const std::string &file_name) {
    std::ifstream in(file_name, std::ios::binary);
    if (!in) {
        return ""; // nothing kept yet: the printers are as described
    }
    std::string line;
    std::size_t index = 0;
    while (std::getline(in, line)) {
        if (index >= sys().interfaces.size() ||
            !printer_model_load_state(&sys().interfaces[index].printer.model, line.data(),
                                      line.size())) {
            return file_name + ":" + std::to_string(index + 1) + ": not a printer state line";
        }
        index++;
    }
    return "";
}

std::string store_state(const std::string &file_name) {
    std::string text;
    bool stored = false;
    for (const Interface &iface : sys().interfaces) {
        char line[PRINTER_STATE_MAX];
        text.append(line, printer_model_save_state(&iface.printer.model, line, sizeof(line)));
        stored = stored || iface.printer.model.stored;
    }
    if (!stored) {
        return "";
    }
    // Written beside the file and renamed over it, so that a run cut short
    // never leaves a half-written state.
    std::string temporary = file_name + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            return "cannot write " + temporary;
        }
    }
    if (std::rename(temporary.c_str(), file_name.c_str()) != 0) {
        return "cannot replace " + file_name;
    }
    return "";
}

} // namespace standin
