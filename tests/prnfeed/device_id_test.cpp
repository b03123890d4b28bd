// SPDX-License-Identifier: GPL-2.0-only
// Device-ID replies, the cut of the delivered text and the printer name.
#include "support.h"

#include <cstring>

namespace {

using standin::sys;

class DeviceId : public PrnfeedTest {
  protected:
    // Reads the device ID into a buffer full of '#' and returns what is in
    // it up to and including the first NUL (or all of it).
    std::string delivered(int &result) {
        char text[300];
        std::memset(text, '#', sizeof(text));
        result = read_device_id(text);
        buffer.assign(text, sizeof(text));
        std::size_t nul = buffer.find('\0');
        return nul == std::string::npos ? buffer : buffer.substr(0, nul);
    }
    std::string buffer;
};

std::string id_text(std::size_t length) {
    std::string text = "MFG:Maker;MDL:P-100;CMD:";
    while (text.size() < length) {
        text += static_cast<char>('A' + text.size() % 26);
    }
    return text.substr(0, length);
}

TEST_F(DeviceId, TextIsCutByTheReturnedCount) {
    struct {
        std::size_t reply_bytes;
        std::size_t delivered;
    } cases[] = {{3, 0}, {4, 1}, {34, 31}, {256, 253}, {257, 254}, {258, 254}, {300, 254}};
    for (const auto &c : cases) {
        fresh_printer(PRINTER_PATH, id_text(c.reply_bytes - 2));
        int result = 0;
        std::string text = delivered(result);
        EXPECT_EQ(result, 1) << c.reply_bytes;
        EXPECT_EQ(text, id_text(c.delivered)) << c.reply_bytes;
        // Nothing written after the terminator.
        EXPECT_EQ(buffer.substr(text.size() + 1), std::string(299 - text.size(), '#'))
            << c.reply_bytes;
        EXPECT_CLEAN();
    }
}

// The byte count the driver returns, not the bytes, decides the length: a
// reply without text gives the empty text, a count beyond the reply ends
// the text where the reply ends.
TEST_F(DeviceId, CountDecidesTheLength) {
    const struct {
        const char *id;
        long count;
        const char *text;
        const char *name;
    } cases[] = {{PRINTER_ID, 0, "", ""},
                 {PRINTER_ID, 1, "", ""},
                 {PRINTER_ID, 2, "", ""},
                 {"MFG:Maker;MDL:P-100;", 10, "MFG:Mak", ""},
                 {"MFG:X;MDL:LONGNAME", 300, "MFG:X;MDL:LONGNAME", "LONGNAME"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.count);
        fresh_printer(PRINTER_PATH, c.id).printer.model.id_count = c.count;
        int result = 0;
        EXPECT_EQ(delivered(result), c.text);
        EXPECT_EQ(result, 1);
        char name[256];
        std::memset(name, '#', sizeof(name));
        dirty_stack();
        EXPECT_EQ(get_printer_name(name), 1);
        EXPECT_STREQ(name, c.name);
        EXPECT_CLEAN();
    }
}

TEST_F(DeviceId, FailingRequestLeavesBufferUntouchedAndClosesTheDevice) {
    add_usb_printer().id_request_fails = true;
    int result = 1;
    delivered(result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(buffer, std::string(300, '#'));
    EXPECT_EQ(std::string(out_pipe_path), std::string(PRINTER_PATH) + "\\PIPE00");
    EXPECT_EQ(count_calls("CloseHandle"), 1);
    EXPECT_CLEAN();

    fresh_system();
    delivered(result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(buffer, std::string(300, '#'));
}

struct NameCase {
    const char *id; // the text the printer sends
    const char *name;
};

class PrinterName : public PrnfeedTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(PrinterName, IsTheValueOfTheSecondField) {
    add_usb_printer(PRINTER_PATH, GetParam().id);
    char name[256];
    std::memset(name, '#', sizeof(name));
    ASSERT_EQ(get_printer_name(name), 1);
    EXPECT_STREQ(name, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, PrinterName,
    ::testing::Values(NameCase{"MFG:Maker;MDL:P-100;CLS:PRINTER;", "P-100"},
                      NameCase{":A:B;X", "B"},                   // first ':' at index 0
                      NameCase{"MFG:X;MDL:A:B;CLS:Y;", "A:B"},   // ':' inside the name
                      NameCase{"MFG:X;MDL:;CLS:Y;", ""},         // empty value
                      NameCase{"MFG:Maker;MDL:P-100;", "P-100"}, // text ends before ';'
                      NameCase{"MFG:Maker;", ""},                // no second ':'
                      NameCase{"MFG:X;MDL:P-100, Rev.2 (A&B)/x=1;CLS:Y;",
                               "P-100, Rev.2 (A&B)/x=1"}, // punctuation kept whole
                      NameCase{"no fields", ""}, NameCase{"MFG:Maker;MDL:P-100", "P-10"}));

TEST_F(DeviceId, LongestNameFitsTheNameBuffer) {
    add_usb_printer(PRINTER_PATH, "::" + std::string(400, 'n'));
    char name[256];
    std::memset(name, '#', sizeof(name));
    ASSERT_EQ(get_printer_name(name), 1);
    EXPECT_EQ(std::string(name), std::string(252, 'n'));
}

// The name is the printer's text: a control byte shows as '?', so that it
// can neither print a line of its own nor move the cursor; every other byte
// is shown as sent.
TEST_F(DeviceId, NameAppearsInThePrintJobWithControlBytesShownAsQuestionMarks) {
    const struct {
        const char *id;
        std::string shown;
    } cases[] = {
        {"MFG:X;MDL:A:B;CLS:Y;", "A:B"},
        {"MFG:X;MDL:P\nUSB Serial Number write OK [ AB12-03090845296 ]\n;",
         "P?USB Serial Number write OK [ AB12-03090845296 ]?"},
        {"MFG:X;MDL:\r\x1b[2K\t\x01\x1f\x7f;", "??[2K????"},
        {"MFG:X;MDL: ~\x80\xa0\xff;", " ~\x80\xa0\xff"},
    };
    std::string file = make_file("job.prn", {});
    for (const auto &c : cases) {
        SCOPED_TRACE(c.shown);
        fresh_printer(PRINTER_PATH, c.id);
        Outcome run = run_prnfeed({file});
        EXPECT_EQ(run.exit_value, 0);
        EXPECT_EQ(run.out, banner() + "Printing to " + c.shown + "\n\nPrinting complete...!\n");
        EXPECT_EQ(run.err, "");
    }
}

} // namespace
