// SPDX-License-Identifier: GPL-2.0-only
#include "in_process.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

const char PRINTER_PATH[] = "\\\\?\\usb#vid_1a2b&pid_0100#P100A0001#"
                            "{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
const char PRINTER_ID[] = "MFG:Maker;MDL:P-100;CLS:PRINTER;";

namespace {

std::string slurp(std::FILE *file) {
    std::string text;
    std::rewind(file);
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), file)) > 0) {
        text.append(chunk, n);
    }
    return text;
}

} // namespace

namespace {

// An anonymous file in memory: no file-system work per run.
std::FILE *memory_file() {
    int fd = memfd_create("captured", MFD_CLOEXEC);
    return fd < 0 ? std::tmpfile() : fdopen(fd, "w+");
}

} // namespace

Outcome capture(const std::function<int()> &body) {
    std::FILE *out = memory_file();
    std::FILE *err = memory_file();
    std::fflush(stdout);
    std::fflush(stderr);
    int saved_out = dup(1);
    int saved_err = dup(2);
    dup2(fileno(out), 1);
    dup2(fileno(err), 2);

    int exit_value = body();

    std::fflush(stdout);
    std::fflush(stderr);
    dup2(saved_out, 1);
    dup2(saved_err, 2);
    close(saved_out);
    close(saved_err);
    Outcome run{exit_value, slurp(out), slurp(err)};
    std::fclose(out);
    std::fclose(err);
    return run;
}

std::vector<char *> argv_of(const std::string &name, const std::vector<std::string> &args,
                            std::vector<std::string> &storage) {
    storage.assign(1, name);
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &s : storage) {
        argv.push_back(&s[0]);
    }
    argv.push_back(nullptr);
    return argv;
}

Outcome run_prnfeed(const std::vector<std::string> &args) {
    std::vector<std::string> storage;
    std::vector<char *> argv = argv_of("prnfeed", args, storage);
    return capture([&] { return prnfeed_main(static_cast<int>(storage.size()), argv.data()); });
}

standin::Interface &add_usb_printer(const std::string &path, const std::string &id) {
    return standin::add_printer(standin::usbprint_class, path, id);
}

std::string banner() {
    return "PRNFEED Version 1.0(08/20/2002)\n\n";
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

standin::Bytes pattern(std::size_t size, unsigned seed) {
    standin::Bytes bytes(size);
    unsigned value = seed;
    for (auto &b : bytes) {
        value = value * 1103515245u + 12345u;
        b = static_cast<unsigned char>(value >> 16);
    }
    return bytes;
}

void fresh_system() {
    standin::reset();
    std::memset(out_pipe_path, 0, sizeof(out_pipe_path));
    std::memset(in_pipe_path, 0, sizeof(in_pipe_path));
}

standin::Interface &fresh_printer(const std::string &path, const std::string &id) {
    fresh_system();
    return add_usb_printer(path, id);
}

namespace {

std::string role_of(const std::string &path) {
    std::string tail = path.size() < 7 ? "" : path.substr(path.size() - 7);
    if (tail == "\\PIPE00" || tail == "\\PIPE01") {
        return tail == "\\PIPE00" ? "out" : "in";
    }
    for (const standin::Interface &iface : standin::sys().interfaces) {
        if (iface.path == path) {
            return "device";
        }
    }
    return "file";
}

std::string before_comma(const std::string &text) {
    return text.substr(0, text.find(','));
}

} // namespace

std::vector<standin::Call> named_calls() {
    std::map<std::string, std::string> open; // handle number -> name
    auto taken = [&](const std::string &name) {
        return std::any_of(open.begin(), open.end(),
                           [&](const auto &e) { return e.second == name; });
    };
    std::vector<standin::Call> list = standin::sys().calls;
    for (standin::Call &call : list) {
        std::string handle = before_comma(call.args);
        if (open.count(handle) != 0) {
            call.args.replace(0, handle.size(), open[handle]);
        }
        if (call.result.rfind("h", 0) == 0) { // a new handle, of a file or a device set
            std::string role = call.function == "CreateFileA" ? role_of(handle) : "set";
            std::string name = role;
            for (int n = 2; taken(name); n++) {
                name = role + " " + std::to_string(n);
            }
            call.result = open[call.result] = name;
        } else if (call.result == "TRUE" && (call.function == "CloseHandle" ||
                                             call.function == "SetupDiDestroyDeviceInfoList")) {
            open.erase(handle);
        }
    }
    return list;
}

std::vector<std::string> calls_of(const std::string &function) {
    std::vector<std::string> list;
    for (const standin::Call &call : named_calls()) {
        if (call.function == function) {
            list.push_back(call.args + " -> " + call.result);
        }
    }
    return list;
}

int count_calls(const std::string &function) {
    return static_cast<int>(calls_of(function).size());
}

std::vector<std::string> trace() {
    std::vector<std::string> list;
    for (const standin::Call &call : named_calls()) {
        std::string handle = before_comma(call.args);
        auto count = [&] { return call.args.substr(call.args.find(", ") + 2); };
        if (call.function == "CreateFileA") {
            bool failed = call.result.rfind("INVALID", 0) == 0;
            list.push_back("open " + (failed ? role_of(handle) + " fails" : call.result));
        } else if (call.function == "WriteFile") {
            list.push_back("write " + handle + " " + count());
        } else if (call.function == "ReadFile" && handle.rfind("file", 0) != 0) {
            list.push_back("read " + handle + " " + count());
        } else if (call.function == "Sleep") {
            list.push_back("sleep " + call.args);
        } else if (call.function == "CloseHandle") {
            list.push_back("close " + handle);
        } else if (call.function == "GetLocalTime") {
            list.push_back("time");
        }
    }
    return list;
}
