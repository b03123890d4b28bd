// SPDX-License-Identifier: GPL-2.0-only
// Printer description files for the command-line build, and the state file
// beside them: all reading and writing of both is here. Every key, its
// default and what it does is documented in sample-printer.txt, which the
// tests load; keep the two in step.
//
// A description is only read. A serial number a printer stores goes to the
// state file (one state line of the printer model per printer, in order);
// when that file exists its serial numbers replace the described ones.
#include "standin.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace standin {

namespace {

// Settings whose value is a number, of the system and of a printer.
template <typename Target> struct NumberKey {
    const char *key;
    void (*set)(Target &, long);
};

const NumberKey<System> system_numbers[] = {
    {"file_open_fail_at", [](System &s, long n) { s.file_open_fail_at = static_cast<int>(n); }},
    {"file_read_fail_at", [](System &s, long n) { s.file_read_fail_at = static_cast<int>(n); }},
    {"global_alloc_fails", [](System &s, long n) { s.global_alloc_fails = n != 0; }},
    {"global_alloc_fail_at",
     [](System &s, long n) { s.global_alloc_fail_at = static_cast<int>(n); }},
    {"global_lock_fails", [](System &s, long n) { s.global_lock_fails = n != 0; }},
};

const NumberKey<Interface> printer_numbers[] = {
    {"enum_error", [](Interface &i, long n) { i.enum_error = static_cast<DWORD>(n); }},
    {"open_error", [](Interface &i, long n) { i.open_error = static_cast<DWORD>(n); }},
    {"id_request_fails", [](Interface &i, long n) { i.id_request_fails = n != 0; }},
    {"setup_request_fails", [](Interface &i, long n) { i.setup_request_fails = n != 0; }},
    {"fetch_fails", [](Interface &i, long n) { i.fetch_fails = n != 0; }},
    {"size_query_fails", [](Interface &i, long n) { i.size_query_fails = n != 0; }},
    {"reported_size", [](Interface &i, long n) { i.reported_size = n; }},
    {"unterminated_path", [](Interface &i, long n) { i.unterminated_path = n != 0; }},
    {"short_write_at",
     [](Interface &i, long n) { i.printer.short_write_at = static_cast<int>(n); }},
    {"short_write_accepts",
     [](Interface &i, long n) { i.printer.short_write_accepts = static_cast<DWORD>(n); }},
    {"out_open_fail_from",
     [](Interface &i, long n) { i.printer.out_open_fail_from = static_cast<int>(n); }},
    {"in_open_fail_from",
     [](Interface &i, long n) { i.printer.in_open_fail_from = static_cast<int>(n); }},
};

// Whether the key is in the table.
template <typename Target, std::size_t N>
const NumberKey<Target> *find_number(const NumberKey<Target> (&table)[N], const std::string &key) {
    for (const NumberKey<Target> &entry : table) {
        if (key == entry.key) {
            return &entry;
        }
    }
    return nullptr;
}

// Sets a number setting from the table. Returns false when the key is not
// in it; `error` tells a value that is not a number.
template <typename Target, std::size_t N>
bool set_number(const NumberKey<Target> (&table)[N], Target &target, const std::string &key,
                const std::string &value, std::string &error) {
    const NumberKey<Target> *entry = find_number(table, key);
    if (entry == nullptr) {
        return false;
    }
    long n = 0;
    if (printer_model_number(value.c_str(), &n)) {
        entry->set(target, n);
    } else {
        error = "bad value for " + key + ": " + value;
    }
    return true;
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

// A setting of the simulated system. Returns false when the key is none.
bool set_system(const std::string &key, const std::string &value, std::string &error) {
    if (key == "windows") {
        error = set_version(value);
    } else if (key == "module") {
        sys().module_path = value;
    } else if (key == "time") {
        error = set_time(value);
    } else if (key == "summary") {
        sys().summary_path = value;
    } else if (key == "state") {
        sys().state_path = value;
    } else {
        return set_number(system_numbers, sys(), key, value, error);
    }
    return true;
}

// A setting of one printer. Returns false when the key is none.
bool set_printer(Interface &iface, const std::string &key, const std::string &value,
                 std::string &error) {
    int model = printer_model_setting(&iface.printer.model, key.c_str(), value.c_str());
    if (model != PRINTER_SETTING_UNKNOWN) {
        if (model == PRINTER_SETTING_BAD) {
            error = "bad value for " + key + ": " + value;
        }
    } else if (key == "path") {
        iface.path = value;
        if (value.empty()) {
            error = "path= needs the device interface path";
        }
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
                error = "cannot create " + value;
            }
        }
    } else {
        return set_number(printer_numbers, iface, key, value, error);
    }
    return true;
}

// Whether the key is a setting of a printer: the model's or the stand-in's.
bool printer_key(const std::string &key) {
    return printer_model_is_key(key.c_str()) || key == "path" || key == "output" ||
           find_number(printer_numbers, key) != nullptr;
}

const char PRINTER_START[] =
    "a printer starts with interface=usbprint, interface=alt or a printer setting such as "
    "device_id=";

// The path of the n-th printer (from 1) when the description names none.
std::string default_path(bool alt, std::size_t n) {
    if (alt) {
        return "\\\\.\\ALTPRN" + std::to_string(n);
    }
    return "\\\\?\\usb#vid_1a2b&pid_0100#STANDIN" + std::to_string(n) +
           "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
}

} // namespace

std::string load_description(const std::string &file_name) {
    std::ifstream in(file_name);
    if (!in) {
        return "cannot read " + file_name;
    }
    return load_description(in, file_name);
}

std::string load_description(std::istream &in, const std::string &file_name) {
    const std::size_t first = sys().interfaces.size();
    std::string text(std::istreambuf_iterator<char>(in), {});
    printer_description reader;
    printer_description_start(&reader, text.data(), text.size());
    char *key_text = nullptr;
    char *value_text = nullptr;
    Interface *current = nullptr;
    while (printer_description_line(&reader, &key_text, &value_text)) {
        const std::string key = key_text;
        const std::string value = value_text == nullptr ? "" : value_text;
        std::string error;
        if (value_text == nullptr) {
            error = reader.nul_byte ? "a NUL byte" : "no '='";
        } else if (key == "interface") {
            if (value != "usbprint" && value != "alt") {
                error = "unknown interface class " + value;
            } else {
                bool alt = value == "alt";
                current = &add_printer(alt ? alt_class : usbprint_class,
                                       default_path(alt, sys().interfaces.size() + 1), "");
            }
        } else if (!set_system(key, value, error)) {
            // A printer setting before any interface= line starts a printer
            // of the USB printing class: a device ID alone describes one.
            if (current == nullptr && printer_key(key)) {
                current = &add_printer(usbprint_class,
                                       default_path(false, sys().interfaces.size() + 1), "");
            }
            if (current == nullptr || !set_printer(*current, key, value, error)) {
                error = error.empty() ? "unknown setting " + key : error;
            }
        }
        if (!error.empty()) {
            return file_name + ":" + std::to_string(reader.line) + ": " + error;
        }
    }
    const auto &list = sys().interfaces;
    if (list.size() == first) {
        return file_name + ": no printer: " + PRINTER_START;
    }
    if (sys().state_path.empty()) {
        sys().state_path = file_name + ".state";
    }
    // A second printer on the same path could never be opened.
    for (std::size_t i = first; i < list.size(); i++) {
        for (std::size_t j = first; j < i; j++) {
            if (strcasecmp(list[i].path.c_str(), list[j].path.c_str()) == 0) {
                return file_name + ": printers " + std::to_string(j - first + 1) + " and " +
                       std::to_string(i - first + 1) + " have the same path";
            }
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
