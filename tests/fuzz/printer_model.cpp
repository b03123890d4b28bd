// SPDX-License-Identifier: GPL-2.0-only
// The simulated printer shared by the Windows-API stand-in and the wine
// driver, driven by a sequence of operations: settings and whole printer
// descriptions, numbers, writes and reads on its pipes, device-ID answers
// and the state line. Checks besides the sanitizers:
// - a write of exactly an escape command is never print data, and print
//   data is never taken as one;
// - a saved state line loads back to the same serial number, and a state
//   line that loads saves to one that loads to the same serial again;
// - a number that parses gives the same value from its decimal and
//   hexadecimal forms;
// - reads and device-ID answers stay within the sizes asked for;
// - the description reader hands out lines in order, none a comment.
#include "standin.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

const unsigned char READ_COMMAND[PRINTER_COMMAND_LENGTH] = {0x1B, '%', '-', '4', '3',
                                                            '.',  '2', '1', 'S', 'R'};
const unsigned char WRITE_PREFIX[PRINTER_COMMAND_LENGTH] = {0x1B, '%', '-', '4', '3',
                                                            '.',  '2', '1', 'S', 'W'};

#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "printer-model: %s:%d: %s\n", __FILE__, __LINE__, #condition);    \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

const char *const KEYS[] = {"device_id",
                            "id_count",
                            "serial",
                            "serial_read_echo",
                            "serial_read_reply_length",
                            "serial_write_reply_length",
                            "serial_write_gap",
                            "serial_write_ignored",
                            "serial_write_garble"};

void setting(FuzzedDataProvider &in, printer_model &m) {
    std::string key =
        in.ConsumeBool() ? in.PickValueInArray(KEYS) : in.ConsumeRandomLengthString(32);
    std::string value = in.ConsumeRandomLengthString(PRINTER_ID_MAX + 8);
    int result = printer_model_setting(&m, key.c_str(), value.c_str());
    CHECK(result == PRINTER_SETTING_OK || result == PRINTER_SETTING_UNKNOWN ||
          result == PRINTER_SETTING_BAD);
    CHECK(m.device_id_length <= PRINTER_ID_MAX && m.read_echo_length <= PRINTER_ECHO_MAX);
}

void number(FuzzedDataProvider &in) {
    std::string text = in.ConsumeRandomLengthString(40);
    long value = 0;
    if (!printer_model_number(text.c_str(), &value)) {
        return;
    }
    CHECK(value >= -0x7FFFFFFFL && value <= 0x7FFFFFFFL);
    char form[32];
    long again = 0;
    std::snprintf(form, sizeof(form), "%ld", value);
    CHECK(printer_model_number(form, &again) && again == value);
    std::snprintf(form, sizeof(form), "%s0x%lX", value < 0 ? "-" : "", value < 0 ? -value : value);
    CHECK(printer_model_number(form, &again) && again == value);
}

void write(FuzzedDataProvider &in, printer_model &m) {
    standin::Bytes data;
    switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0: // the read command
        data.assign(READ_COMMAND, READ_COMMAND + PRINTER_COMMAND_LENGTH);
        break;
    case 1: { // the write command with some serial number
        data.assign(WRITE_PREFIX, WRITE_PREFIX + PRINTER_COMMAND_LENGTH);
        standin::Bytes serial = in.ConsumeBytes<unsigned char>(PRINTER_SERIAL_LENGTH);
        serial.resize(PRINTER_SERIAL_LENGTH, '7');
        data.insert(data.end(), serial.begin(), serial.end());
        break;
    }
    default:
        data = in.ConsumeBytes<unsigned char>(in.ConsumeIntegralInRange(0, 40));
    }
    bool is_read = data.size() == PRINTER_COMMAND_LENGTH &&
                   std::memcmp(data.data(), READ_COMMAND, PRINTER_COMMAND_LENGTH) == 0;
    bool is_write = data.size() == PRINTER_COMMAND_LENGTH + PRINTER_SERIAL_LENGTH &&
                    std::memcmp(data.data(), WRITE_PREFIX, PRINTER_COMMAND_LENGTH) == 0;
    std::size_t taken =
        in.ConsumeBool() ? data.size() : in.ConsumeIntegralInRange<std::size_t>(0, data.size());
    std::size_t queued = m.queue_count;
    char serial[PRINTER_SERIAL_LENGTH];
    std::memcpy(serial, m.serial, sizeof(serial));
    int result = printer_model_write(&m, data.data(), data.size(), taken);
    CHECK(result == ((is_read || is_write) ? PRINTER_ESCAPE : PRINTER_DATA));
    CHECK(m.queue_count <= PRINTER_QUEUE_MAX && m.queue_count >= queued);
    if (!is_write || taken != data.size()) {
        CHECK(std::memcmp(serial, m.serial, sizeof(serial)) == 0);
    } else if (!m.write_ignored) {
        CHECK(std::memcmp(m.serial, data.data() + PRINTER_COMMAND_LENGTH, sizeof(serial)) == 0);
        CHECK(m.stored);
    }
}

void read(FuzzedDataProvider &in, printer_model &m) {
    std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, PRINTER_PACKET_MAX + 4);
    standin::Bytes out(count);
    std::size_t queued = m.queue_count;
    std::size_t expected = queued ? m.queue[m.queue_first].length : 0;
    std::size_t done = 99;
    int result = printer_model_read(&m, out.data(), count, &done);
    if (queued == 0) {
        CHECK(result == PRINTER_READ_EMPTY && done == 0);
        return;
    }
    CHECK(m.queue_count == queued - 1);
    CHECK(result == (count >= expected ? PRINTER_READ_OK : PRINTER_READ_OVERFLOW));
    CHECK(done == (result == PRINTER_READ_OK ? expected : 0));
}

void device_id(FuzzedDataProvider &in, const printer_model &m) {
    std::size_t out_size = in.ConsumeIntegralInRange<std::size_t>(0, PRINTER_ID_MAX + 8);
    standin::Bytes out(out_size);
    std::size_t reported = 0;
    std::size_t copied = printer_model_device_id(&m, out.data(), out_size, &reported);
    CHECK(copied <= out_size && reported <= out_size);
    CHECK(copied == std::min(out_size, m.device_id_length + 2));
    if (m.id_count < 0) {
        CHECK(reported == copied);
    }
}

// Save, load into a fresh printer: the same serial number, with and
// without the line end.
void round_trip(const printer_model &m) {
    char line[PRINTER_STATE_MAX];
    CHECK(printer_model_save_state(&m, line, sizeof(line) - 1) == 0);
    std::size_t length = printer_model_save_state(&m, line, sizeof(line));
    CHECK(length > 0 && length < sizeof(line) && line[length] == '\0' && line[length - 1] == '\n');
    for (std::size_t cut : {length, length - 1}) {
        printer_model fresh;
        printer_model_init(&fresh);
        CHECK(printer_model_load_state(&fresh, line, cut) == 1);
        CHECK(std::memcmp(fresh.serial, m.serial, PRINTER_SERIAL_LENGTH) == 0);
    }
}

void load_state(FuzzedDataProvider &in, printer_model &m) {
    std::string line = in.ConsumeRandomLengthString(PRINTER_STATE_MAX + 8);
    char before[PRINTER_SERIAL_LENGTH];
    std::memcpy(before, m.serial, sizeof(before));
    if (printer_model_load_state(&m, line.data(), line.size())) {
        round_trip(m);
    } else {
        CHECK(std::memcmp(before, m.serial, sizeof(before)) == 0);
    }
}

// A whole description through the stand-in's reader. Output files are
// never created: an output= line keeps the print data in memory instead.
void description(FuzzedDataProvider &in) {
    std::string raw = in.ConsumeRandomLengthString(2048);
    std::string copy = raw;
    printer_description reader;
    printer_description_start(&reader, copy.data(), copy.size());
    char *key = nullptr;
    char *value = nullptr;
    unsigned long last = 0;
    while (printer_description_line(&reader, &key, &value)) {
        CHECK(reader.line > last && key[0] != '#' && std::strchr(key, '\n') == nullptr);
        last = reader.line;
    }
    CHECK(last <= static_cast<unsigned long>(std::count(raw.begin(), raw.end(), '\n')) + 1);
    std::istringstream lines(raw);
    std::string text;
    for (std::string line; std::getline(lines, line);) {
        text += line.rfind("output=", 0) == 0 ? "output=keep" : line;
        text += '\n';
    }
    standin::reset();
    std::istringstream stream(text);
    std::string error = standin::load_description(stream, "fuzz.txt");
    for (const standin::Interface &iface : standin::sys().interfaces) {
        CHECK(iface.printer.stream == nullptr);
        round_trip(iface.printer.model);
    }
    standin::reset();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    printer_model m;
    printer_model_init(&m);
    for (int step = 0; step < 64 && in.remaining_bytes() > 0; step++) {
        switch (in.ConsumeIntegralInRange(0, 7)) {
        case 0:
            setting(in, m);
            break;
        case 1:
            number(in);
            break;
        case 2:
            write(in, m);
            break;
        case 3:
            read(in, m);
            break;
        case 4:
            device_id(in, m);
            break;
        case 5:
            round_trip(m);
            break;
        case 6:
            load_state(in, m);
            break;
        default:
            description(in);
        }
    }
    round_trip(m);
    return 0;
}
