// SPDX-License-Identifier: GPL-2.0-only
// The simulated printer's model on its own: escape commands, answer packets
// the state text that keeps the serial number, and the description reader.
#include <gtest/gtest.h>

#include "printer_model.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

const std::string BLANK(16, '0');
const std::string READ_COMMAND = "\x1b%-43.21SR";
const std::string WRITE_COMMAND = "\x1b%-43.21SW";

const unsigned char *raw(const std::string &text) {
    return reinterpret_cast<const unsigned char *>(text.data());
}

TEST(PrinterModel, OnlyAWholeCommandIsAnEscapeCommandAndOnlyATakenOneIsAnswered) {
    struct Case {
        std::string bytes;
        std::size_t taken;
        int kind;
        std::size_t answers;
    } cases[] = {
        {READ_COMMAND, 10, PRINTER_ESCAPE, 1},
        {WRITE_COMMAND + "AB12-03090845296", 26, PRINTER_ESCAPE, 1},
        {READ_COMMAND, 4, PRINTER_ESCAPE, 0}, // taken in part: not acted on
        {WRITE_COMMAND + "AB12-03090845296", 25, PRINTER_ESCAPE, 0},
        {READ_COMMAND + "X", 11, PRINTER_DATA, 0}, // print data that starts like one
        {WRITE_COMMAND + "123", 13, PRINTER_DATA, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.bytes.size());
        printer_model model;
        printer_model_init(&model);
        EXPECT_EQ(printer_model_write(&model, raw(c.bytes), c.bytes.size(), c.taken), c.kind);
        EXPECT_EQ(model.queue_count, c.answers);
        EXPECT_EQ(model.stored, c.answers == 1 && c.bytes.size() == 26);
    }
}

TEST(PrinterModel, AnAnswerIsOnePacketThatAShorterReadLoses) {
    struct Case {
        std::size_t asked;
        int result;
        std::size_t done;
    } cases[] = {
        {26, PRINTER_READ_OK, 26},
        {1024, PRINTER_READ_OK, 26}, // one packet, not the next one as well
        {25, PRINTER_READ_OVERFLOW, 0},
        {1, PRINTER_READ_OVERFLOW, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.asked);
        printer_model model;
        printer_model_init(&model);
        printer_model_write(&model, raw(READ_COMMAND), 10, 10);
        printer_model_write(&model, raw(READ_COMMAND), 10, 10);
        unsigned char buffer[1024] = {};
        std::size_t done = 99;
        EXPECT_EQ(printer_model_read(&model, buffer, c.asked, &done), c.result);
        EXPECT_EQ(done, c.done);
        EXPECT_EQ(model.queue_count, 1u); // the first packet is gone either way
        EXPECT_EQ(printer_model_read(&model, buffer, 1024, &done), PRINTER_READ_OK);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), done), READ_COMMAND + BLANK);
        EXPECT_EQ(printer_model_read(&model, buffer, 1024, &done), PRINTER_READ_EMPTY);
    }
}

TEST(PrinterModel, StateTextKeepsAnySerialNumber) {
    const std::string serials[] = {"AB12-03090845296", BLANK,
                                   std::string("\0\n\r%=% \x7f\x80\xff\x1b;abcd", 16),
                                   std::string(16, '%')};
    for (const std::string &serial : serials) {
        printer_model model;
        printer_model_init(&model);
        std::memcpy(model.serial, serial.data(), 16);
        char text[PRINTER_STATE_MAX];
        std::size_t length = printer_model_save_state(&model, text, sizeof(text));
        ASSERT_GT(length, 0u);
        std::string line(text, length);
        // One line of visible text, whatever the serial number holds.
        EXPECT_EQ(line.find('\n'), length - 1) << line;
        for (std::size_t i = 0; i + 1 < length; i++) {
            EXPECT_TRUE(line[i] >= '!' && line[i] <= '~') << line;
        }
        printer_model loaded;
        printer_model_init(&loaded);
        ASSERT_EQ(printer_model_load_state(&loaded, text, length), 1) << line;
        EXPECT_EQ(std::string(loaded.serial, 16), serial) << line;
    }
    for (const char *bad :
         {"serial=AB12", "serial=AB12-030908452967", "serial=AB12-0309084529%4",
          "serial=AB12-030908452%G1", "serial=AB12-03090845 96", "name=AB12-03090845296", ""}) {
        printer_model model;
        printer_model_init(&model);
        EXPECT_EQ(printer_model_load_state(&model, bad, std::strlen(bad)), 0) << bad;
        EXPECT_EQ(std::string(model.serial, 16), BLANK) << bad;
    }
}

// Every line a host sees, as "<number>:<key>" or "<number>:<key>=<value>".
TEST(PrinterModel, DescriptionLinesAreTakenInPlace) {
    std::string text = "# printer\r\n\ndevice_id=A=B;\r\nP-100\r\n\r\n=x\nkey=\r";
    printer_description reader;
    printer_description_start(&reader, text.data(), text.size());
    std::vector<std::string> lines;
    char *key = nullptr;
    char *value = nullptr;
    while (printer_description_line(&reader, &key, &value)) {
        lines.push_back(std::to_string(reader.line) + ":" + key +
                        (value == nullptr ? "" : "=" + std::string(value)));
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"3:device_id=A=B;", "4:P-100", "6:=x", "7:key="}));
    EXPECT_EQ(printer_description_line(&reader, &key, &value), 0);

    EXPECT_TRUE(printer_model_is_key("serial_write_garble"));
    EXPECT_TRUE(printer_model_is_key("device_id"));
    EXPECT_FALSE(printer_model_is_key("device_i"));
    EXPECT_FALSE(printer_model_is_key("output"));
}

} // namespace
