// SPDX-License-Identifier: GPL-2.0-only
// Serial-number programming: how the serial number is built, the escape
// command exchange on the printer's two pipes, every outcome, and that the
// print job always follows with its data kept apart from the commands.
#include "support.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

using standin::Bytes;

const std::string OUT_PIPE = std::string(PRINTER_PATH) + "\\PIPE00";
const std::string IN_PIPE = std::string(PRINTER_PATH) + "\\PIPE01";
const std::string BLANK(16, '0');
const std::string READ_COMMAND = "\x1b%-43.21SR";
const std::string WRITE_COMMAND = "\x1b%-43.21SW";

Bytes bytes_of(const std::string &text) {
    return Bytes(text.begin(), text.end());
}

std::string serial_of(const standin::Printer &printer) {
    return std::string(printer.model.serial, PRINTER_SERIAL_LENGTH);
}

void set_serial(standin::Printer &printer, const std::string &serial) {
    ASSERT_EQ(serial.size(), size_t{PRINTER_SERIAL_LENGTH});
    std::memcpy(printer.model.serial, serial.data(), PRINTER_SERIAL_LENGTH);
}

// The echo the read answer starts with instead of the read command.
void set_read_echo(standin::Printer &printer, const std::string &echo) {
    ASSERT_LE(echo.size(), size_t{PRINTER_ECHO_MAX});
    std::memcpy(printer.model.read_echo, echo.data(), echo.size());
    printer.model.read_echo_length = echo.size();
}

void set_time(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    standin::sys().local_time = {year, month, 3, day, hour, minute, second, 999};
}

class SerialNumberTest : public PrnfeedTest {
  protected:
    void SetUp() override {
        PrnfeedTest::SetUp();
        fresh();
        data = pattern(5000);
        file = make_file("job.bin", data);
    }

    // A fresh system with the standard printer and the clock of every test.
    standin::Printer &fresh() {
        printer = &fresh_printer().printer;
        set_time(2003, 9, 8, 12, 34, 56);
        return *printer;
    }

    // A run with a file: whatever the serial step did, the file must reach
    // the printer byte for byte, apart from any escape command, with
    // nothing left open.
    ::Run run_with_file(const std::string &line_code) {
        ::Run run = run_prnfeed({line_code, file});
        EXPECT_EQ(run.exit_value, 0);
        EXPECT_EQ(printer->received, data);
        EXPECT_EQ(printer->write_sizes, (std::vector<DWORD>{4096, 904}));
        EXPECT_EQ(run.out.substr(run.out.size() - 23), "\nPrinting complete...!\n");
        EXPECT_CLEAN();
        return run;
    }

    std::string serial_output(const ::Run &run) {
        std::string text = run.out.substr(banner().size());
        return text.substr(0, text.find("Printing to "));
    }

    standin::Printer *printer = nullptr;
    Bytes data;
    std::string file;
};

// ---------------------------------------------------------------------------
// Building the serial number

struct Construction {
    const char *line_code;
    WORD year, month, day, hour, minute, second;
    const char *serial;
};

// Shown by its text fields: the default printer dumps the record's bytes,
// padding included, which is uninitialised memory.
void PrintTo(const Construction &c, std::ostream *os) {
    *os << c.line_code << " -> " << c.serial;
}

class SerialConstructionTest : public SerialNumberTest,
                               public ::testing::WithParamInterface<Construction> {};

TEST_P(SerialConstructionTest, WrittenToBlankPrinterAndReported) {
    const Construction &c = GetParam();
    set_time(c.year, c.month, c.day, c.hour, c.minute, c.second);
    ::Run run = run_prnfeed({c.line_code});
    EXPECT_EQ(run.exit_value, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, banner() + "Current USB Serial Number [ " + BLANK + " ]\n" +
                           "USB Serial Number write OK [ " + c.serial + " ]\n");
    ASSERT_EQ(printer->commands.size(), 2u);
    EXPECT_EQ(printer->commands[1], bytes_of(WRITE_COMMAND + c.serial));
    EXPECT_EQ(serial_of(*printer), c.serial);
    // One reading of the clock for the whole number.
    EXPECT_EQ(count_calls("GetLocalTime"), 1);
}

INSTANTIATE_TEST_SUITE_P(LineCodesAndClock, SerialConstructionTest,
                         ::testing::Values(
                             // The examples: a long line code keeps its last four, upper-cased.
                             Construction{"/ab12cd", 2003, 9, 8, 12, 34, 56, "12CD-03090845296"},
                             Construction{"-7", 2004, 1, 1, 0, 0, 0, "0007-04010100000"},
                             // Only the prefix: nothing taken, the prefix never.
                             Construction{"/", 2003, 9, 8, 12, 34, 56, "0000-03090845296"},
                             Construction{"-", 2003, 9, 8, 12, 34, 56, "0000-03090845296"},
                             Construction{"/ab", 2003, 9, 8, 12, 34, 56, "00AB-03090845296"},
                             Construction{"/abcd", 2003, 9, 8, 12, 34, 56, "ABCD-03090845296"},
                             Construction{"/abcdef", 2003, 9, 8, 12, 34, 56, "CDEF-03090845296"},
                             Construction{"-12345", 2003, 9, 8, 12, 34, 56, "2345-03090845296"},
                             // Only a-z change; every other byte passes as it is.
                             Construction{"/x.y", 2003, 9, 8, 12, 34, 56, "0X.Y-03090845296"},
                             Construction{"/a-Z~", 2003, 9, 8, 12, 34, 56, "A-Z~-03090845296"},
                             // What comes before the last four is never looked at.
                             Construction{"/x,yz12", 2003, 9, 8, 12, 34, 56, "YZ12-03090845296"},
                             Construction{"/a b123", 2003, 9, 8, 12, 34, 56, "B123-03090845296"},
                             Construction{"/?", 2003, 9, 8, 12, 34, 56, "000?-03090845296"},
                             // Single-digit month and day keep their '0'; both ends of the day.
                             Construction{"/ab12", 2007, 3, 5, 23, 59, 59, "AB12-07030586399"},
                             Construction{"/ab12", 2010, 12, 31, 0, 0, 1, "AB12-10123100001"},
                             Construction{"/ab12", 2099, 10, 10, 1, 1, 1, "AB12-99101003661"}));

// ---------------------------------------------------------------------------
// The exchange on the wire

TEST_F(SerialNumberTest, BlankPrinterExchangeIsExactInBytesAndOrder) {
    ::Run run = run_with_file("/ab12cd");
    EXPECT_EQ(run.err, "");

    ASSERT_EQ(printer->commands.size(), 2u);
    EXPECT_EQ(printer->commands[0], bytes_of(READ_COMMAND));
    EXPECT_EQ(printer->commands[1], bytes_of(WRITE_COMMAND + "12CD-03090845296"));

    // Output pipe first, then input; each command followed by 500 ms and a
    // read of exactly the reply's length; output closed before input, and
    // both before the print job opens the output pipe again.
    std::vector<std::string> expected = {
        "open device",  "close device", "time",           "open out",      "open in",
        "write out 10", "sleep 500",    "read in 26",     "write out 26",  "sleep 500",
        "read in 27",   "close out",    "close in",       "open file",     "open out",
        "close file",   "open file",    "write out 4096", "write out 904", "close file",
        "close out"};
    EXPECT_EQ(trace(), expected);
    EXPECT_EQ(standin::sys().sleeps, (std::vector<DWORD>{500, 500}));
    EXPECT_EQ(printer->model.queue_count, 0u);
}

TEST_F(SerialNumberTest, NoLineCodeNoEscapeCommand) {
    ::Run run = run_prnfeed({file});
    EXPECT_EQ(run.exit_value, 0);
    EXPECT_TRUE(printer->commands.empty());
    EXPECT_EQ(printer->in_opens, 0);
    EXPECT_EQ(count_calls("GetLocalTime"), 0);
    EXPECT_EQ(printer->received, data);
}

// ---------------------------------------------------------------------------
// Outcomes: with a file, each is followed by the print job and the run exits
// 0; without one, the run ends with the serial step and its exit value tells
// the outcome

using Set = std::function<void(standin::Printer &)>;

struct SerialOutcome {
    std::string what;
    Set set;          // the printer's behaviour
    std::string out;  // the serial step's lines
    std::string err;  // what the run writes to standard error
    size_t commands;  // escape commands offered; the first is always the read command
    size_t replies;   // 500 ms waits, each followed by a read of the input pipe
    std::string kept; // the printer's serial number afterwards
    int exit_value;   // of the same run without a file: 0 written, 1 registered, else -1
};

const std::string WRITTEN = "12CD-03090845296";
const std::string CURRENT = "Current USB Serial Number [ " + BLANK + " ]\n";
const std::string OK = CURRENT + "USB Serial Number write OK [ " + WRITTEN + " ]\n";
const std::string NG = CURRENT + "USB Serial Number write NG [ " + WRITTEN + " ]\n";
// A read that succeeds short shows the 0 the pipe's open left as the last
// error; no answer at all is the driver's time-out.
const std::string SHORT = "Read port error code=0.\n";
const std::string NO_ANSWER = "Read port error code=121.\n";

// A printer that has a serial number already, or answers the read with
// another echo: "already registered", nothing written.
SerialOutcome registered(const char *what, const std::string &serial, const std::string &echo,
                         const std::string &shown) {
    Set set = [=](standin::Printer &p) {
        set_serial(p, serial);
        if (!echo.empty()) {
            set_read_echo(p, echo);
        }
    };
    return {what,   set, "USB Serial Number already registered[ " + shown + " ]\n", "", 1, 1,
            serial, 1};
}

// The first reply (1 command) or the second (2) shorter than asked (0: none).
SerialOutcome short_reply(size_t reply, long length) {
    Set set = [=](standin::Printer &p) {
        (reply == 1 ? p.model.read_reply_length : p.model.write_reply_length) = length;
    };
    return {"short reply " + std::to_string(reply) + ": " + std::to_string(length),
            set,
            reply == 1 ? "" : CURRENT,
            length == 0 ? NO_ANSWER : SHORT,
            reply,
            reply,
            reply == 1 ? BLANK : WRITTEN,
            -1};
}

Set short_write(long at, DWORD accepts) {
    return [=](standin::Printer &p) {
        p.short_write_at = at;
        p.short_write_accepts = accepts;
    };
}

TEST_F(SerialNumberTest, EveryOutcomeIsReportedAndThePrintJobFollows) {
    using P = standin::Printer &;
    const SerialOutcome cases[] = {
        {"write OK", [](P) {}, OK, "", 2, 2, WRITTEN, 0},
        // The write reply must repeat the command, a 0x00 and the serial number.
        {"byte after the echo not 0x00", [](P p) { p.model.write_gap = 0x20; }, NG, "", 2, 2,
         WRITTEN, -1},
        {"last character differs", [](P p) { p.model.write_reply_garble = 15; }, NG, "", 2, 2,
         WRITTEN, -1},
        {"first character differs", [](P p) { p.model.write_reply_garble = 0; }, NG, "", 2, 2,
         WRITTEN, -1},
        {"printer kept its blank", [](P p) { p.model.write_ignored = 1; }, NG, "", 2, 2, BLANK, -1},
        registered("a real serial number", "ABCD-02123112345", "", "ABCD-02123112345"),
        registered("one character off blank", "000000000000000X", "", "000000000000000X"),
        // A blank serial behind the wrong echo is not a blank printer.
        registered("unexpected echo", BLANK, "\x1b%-43.21SX", BLANK),
        registered("echo of the write command", BLANK, WRITE_COMMAND, BLANK),
        // The serial field prints as a string: it stops at a NUL byte.
        registered("NUL inside the serial", std::string("AB\0DEFGHIJKLMNOP", 16), "", "AB"),
        // The serial is the printer's text: a control byte shows as '?', so
        // that it cannot print a line of its own; other bytes show as sent.
        registered("a line in the serial", "A\nwrite OK [ X ]", "", "A?write OK [ X ]"),
        registered("control and high bytes", "\r\x1b[2J\t\x01\x1f\x7f\x80\xa0\xff ~AB", "",
                   "??[2J????\x80\xa0\xff ~AB"),
        short_reply(1, 25),
        short_reply(1, 10),
        short_reply(1, 1),
        short_reply(1, 0),
        short_reply(2, 26),
        short_reply(2, 11),
        short_reply(2, 0),
        // 27 bytes wait where 26 are asked: one USB packet that overflows the read.
        {"longer first reply", [](P p) { set_read_echo(p, READ_COMMAND + "X"); }, "",
         "Read port error code=31.\n", 1, 1, BLANK, -1},
        // No wait and no read after a command that did not go out whole.
        {"read command cut", short_write(1, 4), "", "Write port error code=31\n", 1, 0, BLANK, -1},
        {"write command cut", short_write(2, 20), CURRENT, "Write port error code=31\n", 2, 1,
         BLANK, -1},
        {"input pipe does not open", [](P p) { p.in_open_fail_from = 1; }, "",
         "Open port " + IN_PIPE + " error.\n", 0, 0, BLANK, -1},
    };
    for (const SerialOutcome &c : cases) {
        SCOPED_TRACE(c.what);
        c.set(fresh());
        ::Run run = run_with_file("/ab12cd");
        EXPECT_EQ(serial_output(run), c.out);
        EXPECT_EQ(run.err, c.err);
        ASSERT_EQ(printer->commands.size(), c.commands);
        if (c.commands > 0) {
            EXPECT_EQ(printer->commands[0], bytes_of(READ_COMMAND));
        }
        EXPECT_EQ(standin::sys().sleeps, std::vector<DWORD>(c.replies, 500));
        std::vector<std::string> steps = trace();
        EXPECT_EQ(std::count_if(steps.begin(), steps.end(),
                                [](const std::string &s) { return s.rfind("read in ", 0) == 0; }),
                  static_cast<long>(c.replies));
        EXPECT_EQ(serial_of(*printer), c.kept);
        EXPECT_EQ(printer->model.queue_count, 0u);
        // Output pipe first, then input; the output pipe alone is closed
        // when the input pipe does not open.
        ASSERT_GE(steps.size(), 6u);
        EXPECT_EQ(std::vector<std::string>(steps.begin() + 3, steps.begin() + 6),
                  (c.commands == 0
                       ? std::vector<std::string>{"open out", "open in fails", "close out"}
                       : std::vector<std::string>{"open out", "open in", "write out 10"}));

        // The same printer, no file: the same lines, and the outcome in the
        // exit value.
        c.set(fresh());
        run = run_prnfeed({"/ab12cd"});
        EXPECT_EQ(run.exit_value, c.exit_value);
        EXPECT_EQ(run.out, banner() + c.out);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(serial_of(*printer), c.kept);
        EXPECT_CLEAN();
    }
}

TEST_F(SerialNumberTest, OutputPipeThatDoesNotOpen) {
    // A line-code-only run: the print job does not open the pipe again.
    printer->out_open_fail_from = 1;
    ::Run run = run_prnfeed({"/ab12cd"});
    EXPECT_EQ(run.exit_value, -1);
    EXPECT_EQ(run.out, banner());
    EXPECT_EQ(run.err, "Open port " + OUT_PIPE + " error.\n");
    EXPECT_EQ(printer->in_opens, 0);
    EXPECT_TRUE(printer->commands.empty());
}

TEST_F(SerialNumberTest, LineCodeAndMissingFileStillProgramsFirst) {
    // Relative: on this host an absolute path would start with '/' and
    // read as a line code.
    ::Run run = run_prnfeed({"/ab12cd", "no-such-job.bin"});
    EXPECT_EQ(run.exit_value, -1);
    EXPECT_EQ(run.out, banner() + "Current USB Serial Number [ " + BLANK + " ]\n" +
                           "USB Serial Number write OK [ 12CD-03090845296 ]\n");
    EXPECT_EQ(run.err, "\tFile open error...(no-such-job.bin)");
}

TEST_F(SerialNumberTest, SecondRunFindsThePrinterRegistered) {
    run_with_file("/ab12cd");
    // Same printer, a later run: the pipe paths are found anew, the serial
    // number stays in the printer.
    std::string kept = serial_of(*printer);
    set_serial(fresh(), kept);
    set_time(2003, 9, 8, 12, 35, 0);
    ::Run run = run_with_file("/ab12cd");
    EXPECT_EQ(serial_output(run), "USB Serial Number already registered[ 12CD-03090845296 ]\n");
}

} // namespace
