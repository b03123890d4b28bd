// SPDX-License-Identifier: GPL-2.0-only
// One whole prnfeed run in-process over the simulated Windows system. The
// input decides the system (version, failing calls), the printers (class,
// path length, device ID and its reported count, faults of the path fetch,
// the pipes and the serial-number answers) and the command line. Besides
// the sanitizers, each run checks what the tool promises its printer:
// - nothing is written to a printer when the run stops at the argument
//   check or with "Printer is not ready!";
// - a printer that already holds a serial number never gets the write
//   command;
// - "Printing complete...!" only when the printer took the file byte for
//   byte;
// - printer text (the printer name, a serial number from a reply) prints no
//   line of its own: after the banner, every line of standard output is one
//   of the tool's own, and no control byte but the tool's own line ends
//   appears there;
// - no handle or block is left and the API was not misused.
#include "in_process.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

const char DATA_FILE[] = "job.prn";
const std::size_t MAX_FILE = 10000; // three chunks at most
const char BLANK_SERIAL[] = "0000000000000000";
const unsigned char WRITE_COMMAND[] = {0x1B, '%', '-', '4', '3', '.', '2', '1', 'S', 'W'};

[[noreturn]] void violated(const char *why, const Outcome &run) {
    std::fprintf(stderr, "prnfeed-run: %s\nexit %d\nstdout: %s\nstderr: %s\n", why, run.exit_value,
                 run.out.c_str(), run.err.c_str());
    std::abort();
}

// Messages are matched where they stand, never inside an echoed file name,
// line code or printer name.
bool starts_with(const std::string &text, const char *part) {
    return text.rfind(part, 0) == 0;
}

bool ends_with(const std::string &text, const std::string &part) {
    return text.size() >= part.size() &&
           text.compare(text.size() - part.size(), part.size(), part) == 0;
}

// Whether line is prefix + a field whose every byte passes `allowed` + suffix.
bool is_form(const std::string &line, const std::string &prefix, const std::string &suffix,
             bool (*allowed)(char)) {
    if (line.size() < prefix.size() + suffix.size() || !starts_with(line, prefix.c_str()) ||
        !ends_with(line, suffix)) {
        return false;
    }
    for (std::size_t i = prefix.size(); i < line.size() - suffix.size(); i++) {
        if (!allowed(line[i])) {
            return false;
        }
    }
    return true;
}

// Progress: "Printing....(<sent>/<size>)" pieces, each ended by '\r'.
bool is_progress(const std::string &line) {
    std::size_t start = 0;
    for (std::size_t end; (end = line.find('\r', start)) != std::string::npos; start = end + 1) {
        if (!is_form(line.substr(start, end - start), "Printing....(", ")",
                     [](char c) { return (c >= '0' && c <= '9') || c == '/'; })) {
            return false;
        }
    }
    return start == line.size();
}

bool is_own_line(const std::string &line) {
    static const char *const forms[][2] = {{"Current USB Serial Number [ ", " ]"},
                                           {"USB Serial Number already registered[ ", " ]"},
                                           {"USB Serial Number write OK [ ", " ]"},
                                           {"USB Serial Number write NG [ ", " ]"},
                                           {"Printing to ", ""}};
    for (const auto &form : forms) {
        // A field (printer name, serial number) holds no control byte.
        if (is_form(line, form[0], form[1],
                    [](char c) { return static_cast<unsigned char>(c) >= 0x20 && c != 0x7F; })) {
            return true;
        }
    }
    return line == "Printing complete...!" || is_progress(line);
}

// Standard output after the banner (whose program name comes from the
// module path, not from the printer): lines of the tool's own forms only.
const char *stray_output(const std::string &out) {
    const std::string banner_end = " Version 1.0(08/20/2002)\n\n";
    std::size_t start = out.find(banner_end);
    if (start == std::string::npos) {
        return "no banner";
    }
    start += banner_end.size();
    for (std::size_t end; start < out.size(); start = end + 1) {
        end = out.find('\n', start);
        if (end == std::string::npos) {
            return "standard output does not end with a line end";
        }
        if (!is_own_line(out.substr(start, end - start))) {
            return "a line of standard output that is none of the tool's own";
        }
    }
    return nullptr;
}

// A device interface path of the given length, distinct for each index.
std::string path_of(std::size_t index, std::size_t length, char fill) {
    std::string path = "\\\\?\\usb#" + std::to_string(index) + "#";
    if (length < path.size()) {
        return std::string(length, static_cast<char>('a' + index));
    }
    return path + std::string(length - path.size(), fill);
}

DWORD error_code(FuzzedDataProvider &in) {
    static const DWORD codes[] = {0,
                                  ERROR_NO_MORE_ITEMS,
                                  ERROR_GEN_FAILURE,
                                  ERROR_ACCESS_DENIED,
                                  ERROR_SHARING_VIOLATION,
                                  ERROR_INVALID_USER_BUFFER};
    return in.PickValueInArray(codes);
}

void add_printers(FuzzedDataProvider &in) {
    int count = in.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < count; i++) {
        bool alt = in.ConsumeBool();
        std::size_t length = in.ConsumeIntegralInRange<std::size_t>(0, 260);
        std::string path = path_of(static_cast<std::size_t>(i), length,
                                   static_cast<char>(in.ConsumeIntegralInRange(0x21, 0x7E)));
        std::string id = in.ConsumeRandomLengthString(PRINTER_ID_MAX);
        standin::Interface &iface =
            standin::add_printer(alt ? standin::alt_class : standin::usbprint_class, path, id);
        printer_model &model = iface.printer.model;
        if (in.ConsumeBool()) {
            model.id_count = in.ConsumeIntegralInRange<long>(0, 4200);
        }
        std::uint16_t faults = in.ConsumeIntegral<std::uint16_t>();
        if (faults & 0x0001) {
            iface.enum_error = error_code(in);
        }
        iface.size_query_fails = faults & 0x0002;
        if (faults & 0x0004) {
            iface.reported_size = in.ConsumeIntegralInRange<long>(0, 600);
        }
        iface.fetch_fails = faults & 0x0008;
        iface.unterminated_path = faults & 0x0010;
        if (faults & 0x0020) {
            iface.open_error = error_code(in);
        }
        iface.id_request_fails = faults & 0x0040;
        iface.setup_request_fails = faults & 0x0080;
        standin::Printer &printer = iface.printer;
        if (faults & 0x0100) {
            printer.short_write_at = in.ConsumeIntegralInRange(1, 4);
            printer.short_write_accepts = in.ConsumeIntegralInRange<DWORD>(0, 4096);
        }
        if (faults & 0x0200) {
            printer.out_open_fail_from = in.ConsumeIntegralInRange(1, 3);
        }
        if (faults & 0x0400) {
            printer.in_open_fail_from = in.ConsumeIntegralInRange(1, 2);
        }
        if (faults & 0x0800) {
            std::string serial = in.ConsumeBytesAsString(PRINTER_SERIAL_LENGTH);
            serial.resize(PRINTER_SERIAL_LENGTH, '0');
            std::memcpy(model.serial, serial.data(), PRINTER_SERIAL_LENGTH);
        }
        if (faults & 0x1000) {
            std::string echo = in.ConsumeRandomLengthString(PRINTER_ECHO_MAX);
            std::memcpy(model.read_echo, echo.data(), echo.size());
            model.read_echo_length = echo.size();
        }
        if (faults & 0x2000) {
            model.read_reply_length = in.ConsumeIntegralInRange<long>(-1, 30);
            model.write_reply_length = in.ConsumeIntegralInRange<long>(-1, 30);
        }
        if (faults & 0x4000) {
            model.write_gap = in.ConsumeIntegral<unsigned char>();
            model.write_ignored = in.ConsumeBool();
        }
        if (faults & 0x8000) {
            model.write_reply_garble = in.ConsumeIntegralInRange(-1, 15);
        }
    }
}

void set_system(FuzzedDataProvider &in) {
    standin::System &s = standin::sys();
    int version = in.ConsumeIntegralInRange(0, 7);
    if (version == 7) {
        s.version_fails = true;
    } else {
        s.version = static_cast<standin::Version>(version);
    }
    std::uint8_t faults = in.ConsumeIntegral<std::uint8_t>();
    s.class_devs_fails = faults & 0x01;
    // Rare: a set whose every member fails costs thousands of calls.
    if ((faults & 0x02) && in.ConsumeIntegralInRange(0, 15) == 0) {
        s.enum_error_every = error_code(in);
    }
    if (faults & 0x04) {
        s.file_open_fail_at = in.ConsumeIntegralInRange(1, 3);
    }
    if (faults & 0x08) {
        s.file_read_fail_at = in.ConsumeIntegralInRange(1, 4);
    }
    s.global_alloc_fails = faults & 0x10;
    if (faults & 0x20) {
        s.global_alloc_fail_at = in.ConsumeIntegralInRange(1, 4);
    }
    s.global_lock_fails = faults & 0x40;
    if (faults & 0x80) {
        SYSTEMTIME &t = s.local_time;
        t.wYear = in.ConsumeIntegral<WORD>();
        t.wMonth = in.ConsumeIntegral<WORD>();
        t.wDay = in.ConsumeIntegral<WORD>();
        t.wHour = in.ConsumeIntegral<WORD>();
        t.wMinute = in.ConsumeIntegral<WORD>();
        t.wSecond = in.ConsumeIntegral<WORD>();
        s.module_path = in.ConsumeRandomLengthString(300);
    }
}

// One argument: the data file, a missing one, a line code, an empty or
// over-long argument, or free text. A file name never leaves the working
// directory ('/' starts a line code, '\' is no separator here).
std::string argument(FuzzedDataProvider &in) {
    switch (in.ConsumeIntegralInRange(0, 6)) {
    case 0:
        return DATA_FILE;
    case 1:
        return "missing.prn";
    case 2:
        return "";
    case 3:
        return (in.ConsumeBool() ? "/" : "-") + in.ConsumeRandomLengthString(300);
    case 4:
        return std::string(in.ConsumeIntegralInRange<std::size_t>(254, 300), 'n');
    default: {
        std::string text = in.ConsumeRandomLengthString(300);
        for (char &c : text) {
            c = c == '/' ? '_' : c;
        }
        return text;
    }
    }
}

// Whether one printer took the file as print data, in order. The last
// chunk of a file can itself be an escape command, which the printer takes
// as one: that is the printer's affair, so it counts as taken.
bool took_file(const standin::Bytes &file) {
    for (const standin::Interface &iface : standin::sys().interfaces) {
        standin::Bytes taken = iface.printer.received;
        if (taken == file) {
            return true;
        }
        const std::vector<standin::Bytes> &commands = iface.printer.commands;
        if (!commands.empty()) {
            taken.insert(taken.end(), commands.back().begin(), commands.back().end());
            if (taken == file) {
                return true;
            }
        }
    }
    return false;
}

void check(const Outcome &run, const standin::Bytes &file, const std::vector<bool> &held_serial) {
    std::uint64_t writes = 0;
    for (const standin::Interface &iface : standin::sys().interfaces) {
        writes += iface.printer.writes;
    }
    // Nothing precedes these on standard error.
    bool stopped_early = run.err == "\tPrinter is not ready!\n" ||
                         starts_with(run.err, "\tUsage:") ||
                         starts_with(run.err, "\tArgument too long") ||
                         starts_with(run.err, "\tLine code not usable");
    if (stopped_early && writes != 0) {
        violated("a run that stopped before the printer query wrote to a printer", run);
    }
    for (std::size_t i = 0; i < held_serial.size(); i++) {
        if (!held_serial[i]) {
            continue;
        }
        for (const standin::Bytes &command : standin::sys().interfaces[i].printer.commands) {
            if (command.size() >= sizeof(WRITE_COMMAND) &&
                std::memcmp(command.data(), WRITE_COMMAND, sizeof(WRITE_COMMAND)) == 0) {
                violated("a printer that held a serial number got the write command", run);
            }
        }
    }
    if (ends_with(run.out, "Printing complete...!\n") &&
        (run.exit_value != 0 || !took_file(file))) {
        violated("\"Printing complete\" without the file taken byte for byte", run);
    }
    if (const char *why = stray_output(run.out)) {
        violated(why, run);
    }
    if (!standin::open_handles().empty()) {
        violated(("handle left open: " + standin::open_handles().front()).c_str(), run);
    }
    if (!standin::live_blocks().empty()) {
        violated("global block not freed", run);
    }
    if (!standin::sys().misuse.empty()) {
        violated(("API misuse: " + standin::sys().misuse.front()).c_str(), run);
    }
}

char scratch[] = "/dev/shm/fuzz-prnfeed-run-XXXXXX";

void remove_scratch() {
    std::remove((std::string(scratch) + "/" + DATA_FILE).c_str());
    rmdir(scratch);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // Every run works in one scratch directory in memory, made once.
    if (mkdtemp(scratch) == nullptr) {
        std::strcpy(scratch, "/tmp/fuzz-prnfeed-run-XXXXXX");
        if (mkdtemp(scratch) == nullptr) {
            std::perror("prnfeed-run: scratch directory");
            std::abort();
        }
    }
    if (chdir(scratch) != 0) {
        std::perror("prnfeed-run: scratch directory");
        std::abort();
    }
    std::atexit(remove_scratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    fresh_system();
    standin::sys().max_logged_calls = 64; // the checks read the printers, not the log
    set_system(in);
    add_printers(in);
    std::vector<bool> held_serial;
    for (const standin::Interface &iface : standin::sys().interfaces) {
        held_serial.push_back(
            std::memcmp(iface.printer.model.serial, BLANK_SERIAL, PRINTER_SERIAL_LENGTH) != 0);
    }

    std::vector<std::string> args;
    int argc = in.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < argc; i++) {
        args.push_back(argument(in));
    }
    std::size_t file_size = in.ConsumeIntegralInRange<std::size_t>(0, MAX_FILE);
    standin::Bytes file = in.ConsumeBytes<unsigned char>(file_size);
    standin::Bytes rest = pattern(file_size - file.size(), file_size);
    file.insert(file.end(), rest.begin(), rest.end());
    std::ofstream(DATA_FILE, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char *>(file.data()),
               static_cast<std::streamsize>(file.size()));

    Outcome run = run_prnfeed(args);
    // For reading an input's run: PRNFEED_RUN_SHOW=1 <harness> <input>.
    static const bool show = std::getenv("PRNFEED_RUN_SHOW") != nullptr;
    if (show) {
        std::fprintf(stderr, "exit %d\n--- stdout\n%s\n--- stderr\n%s\n", run.exit_value,
                     run.out.c_str(), run.err.c_str());
    }
    check(run, file, held_serial);
    fresh_system(); // closes what a failed run left, before the next input
    return 0;
}
