// The simulated printer's serial-number escape commands.
#include "printer_serial.h"

#include "standin.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace standin {

namespace {

const unsigned char read_command[10] = {0x1B, '%', '-', '4', '3', '.', '2', '1', 'S', 'R'};
const unsigned char write_prefix[10] = {0x1B, '%', '-', '4', '3', '.', '2', '1', 'S', 'W'};
const std::size_t SERIAL_LENGTH = 16;

void queue_reply(Printer &printer, Bytes reply, long length) {
    if (length >= 0 && static_cast<std::size_t>(length) < reply.size()) {
        reply.resize(static_cast<std::size_t>(length));
    }
    if (!reply.empty()) {
        printer.replies.push_back(std::move(reply));
    }
}

bool whole_number(const std::string &text, long &value) {
    char *end = nullptr;
    value = std::strtol(text.c_str(), &end, 0);
    return !text.empty() && end != nullptr && *end == '\0';
}

} // namespace

bool printer_escape(Printer &printer, const unsigned char *data, DWORD offered, DWORD taken) {
    bool is_read = offered == sizeof(read_command) &&
                   std::memcmp(data, read_command, sizeof(read_command)) == 0;
    bool is_write = offered == sizeof(write_prefix) + SERIAL_LENGTH &&
                    std::memcmp(data, write_prefix, sizeof(write_prefix)) == 0;
    if (!is_read && !is_write) {
        return false;
    }
    EscapeCommands &escape = printer.escape;
    escape.commands.emplace_back(data, data + offered);
    if (taken != offered) {
        return true;
    }
    if (is_read) {
        Bytes reply;
        if (escape.read_echo.empty()) {
            reply.assign(read_command, read_command + sizeof(read_command));
        } else {
            reply.assign(escape.read_echo.begin(), escape.read_echo.end());
        }
        reply.insert(reply.end(), escape.serial.begin(), escape.serial.end());
        queue_reply(printer, std::move(reply), escape.read_reply_length);
        return true;
    }
    if (!escape.write_ignored) {
        escape.serial.assign(reinterpret_cast<const char *>(data) + sizeof(write_prefix),
                             SERIAL_LENGTH);
        escape.stored = true;
    }
    Bytes reply(write_prefix, write_prefix + sizeof(write_prefix));
    reply.push_back(static_cast<unsigned char>(escape.write_gap));
    std::size_t serial_at = reply.size();
    reply.insert(reply.end(), escape.serial.begin(), escape.serial.end());
    if (escape.write_reply_garble >= 0 &&
        static_cast<std::size_t>(escape.write_reply_garble) < escape.serial.size()) {
        reply[serial_at + static_cast<std::size_t>(escape.write_reply_garble)] ^= 0x01;
    }
    queue_reply(printer, std::move(reply), escape.write_reply_length);
    return true;
}

bool escape_setting(Printer &printer, const std::string &key, const std::string &value,
                    std::string &error) {
    EscapeCommands &escape = printer.escape;
    long n = 0;
    bool numeric = whole_number(value, n);
    if (key == "serial") {
        if (value.size() != SERIAL_LENGTH) {
            error = "serial needs 16 characters: " + value;
        } else {
            escape.serial = value;
        }
        return true;
    }
    if (key == "serial_read_echo") {
        // The description file cannot hold ESC: a leading '^' stands for it.
        escape.read_echo = value;
        if (!escape.read_echo.empty() && escape.read_echo[0] == '^') {
            escape.read_echo[0] = 0x1B;
        }
        return true;
    }
    long *length = key == "serial_read_reply_length"    ? &escape.read_reply_length
                   : key == "serial_write_reply_length" ? &escape.write_reply_length
                                                        : nullptr;
    if (length == nullptr && key != "serial_write_gap" && key != "serial_write_ignored" &&
        key != "serial_write_garble") {
        return false;
    }
    if (!numeric) {
        error = "non-numeric setting " + key;
    } else if (length != nullptr) {
        *length = n;
    } else if (key == "serial_write_gap") {
        escape.write_gap = static_cast<int>(n & 0xFF);
    } else if (key == "serial_write_ignored") {
        escape.write_ignored = n != 0;
    } else {
        escape.write_reply_garble = static_cast<int>(n);
    }
    return true;
}

std::string store_serial_numbers(const std::string &file_name) {
    const auto &interfaces = sys().interfaces;
    if (std::none_of(interfaces.begin(), interfaces.end(),
                     [](const Interface &i) { return i.printer.escape.stored; })) {
        return "";
    }
    std::ifstream in(file_name, std::ios::binary);
    if (!in) {
        return "cannot read " + file_name;
    }
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    in.close();

    // The n-th "interface=" line starts the n-th printer, as when loading.
    std::vector<std::string> out;
    long current = -1;
    std::size_t serial_line = 0; // where the current printer's serial line went
    bool has_serial = false;
    auto finish_printer = [&]() {
        if (current >= 0 && !has_serial && static_cast<std::size_t>(current) < interfaces.size()) {
            out.insert(out.begin() + static_cast<long>(serial_line),
                       "serial=" +
                           interfaces[static_cast<std::size_t>(current)].printer.escape.serial);
        }
    };
    for (const std::string &text : lines) {
        if (text.rfind("interface=", 0) == 0) {
            finish_printer();
            current++;
            has_serial = false;
            out.push_back(text);
            serial_line = out.size();
            continue;
        }
        if (current >= 0 && text.rfind("serial=", 0) == 0 &&
            static_cast<std::size_t>(current) < interfaces.size()) {
            out.push_back("serial=" +
                          interfaces[static_cast<std::size_t>(current)].printer.escape.serial);
            has_serial = true;
            continue;
        }
        out.push_back(text);
    }
    finish_printer();

    // Written beside the file and renamed over it, so that a run cut short
    // never leaves a half-written description.
    std::string temporary = file_name + ".new";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        for (const std::string &text : out) {
            file << text << '\n';
        }
        if (!file.flush()) {
            return "cannot write " + temporary;
        }
    }
    if (std::rename(temporary.c_str(), file_name.c_str()) != 0) {
        return "cannot replace " + file_name;
    }
    return "";
}

} // namespace standin
