// SPDX-License-Identifier: GPL-2.0-only
// quenzor as a board user runs it: command line, console report, and the
// calls that reach the SPI driver, in order.
#include "harness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::IsEmpty;

namespace {

const std::string kUsage =
    "high speed quenzor - Utility to test hspi data communication\n"
    "Usage:\n"
    "\tquenzor <Count>(xfer size) <mode>(0 for master; 1 for slave) <xfer>(0 for tx: 1 for rx) "
    "<device>(0 for /dev/spi0; 1 for /dev/spi1)\n";

const std::string kLimit = "Max Num Bytes : 65536 !!\n";
const std::string kOk = "\n\nCoool!! Data received successful +++++++++++\n";
const std::string kFailed = "\n\nXXXXX Ooops!! Data received failed XXXXX\n";

// The test pattern as the peer sends it: 0x00..0x1f, repeating.
std::string pattern_hex(size_t n) {
    std::string s;
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < n; i++) {
        s += digits[(i % 32) >> 4];
        s += digits[(i % 32) & 0xf];
    }
    return s;
}

// Dump of values: a line feed follows bytes 16, 32, 48, ...
std::string dump(const std::vector<unsigned> &values, const char *fmt) {
    std::string s;
    char buf[16];
    for (size_t i = 0; i < values.size(); i++) {
        snprintf(buf, sizeof buf, fmt, values[i]);
        s += buf;
        if (i >= 16 && i % 16 == 0)
            s += '\n';
    }
    return s;
}

std::vector<unsigned> pattern_values(size_t n) {
    std::vector<unsigned> v;
    for (size_t i = 0; i < n; i++)
        v.push_back(static_cast<unsigned>(i % 32));
    return v;
}

std::vector<std::string> node_calls(const std::string &node, const std::string &flags,
                                    const std::vector<std::string> &transfer) {
    std::vector<std::string> t{"open " + node + " flags=0x2 -> fd", "ioctl 0x701 0x2 -> 0",
                               "ioctl 0x702 0x5 -> 0", "ioctl 0x704 " + flags + " -> 0"};
    t.insert(t.end(), transfer.begin(), transfer.end());
    t.push_back("usleep 5");
    t.push_back("close -> 0");
    return t;
}

const std::string kMaster = "***** MODE : Master ";
const std::string kSlave = "***** MODE : Slave ";
enum Xfer { Tx, Rx };

// The first two lines of every run that gets past the argument checks.
std::string opening(const std::string &count, const std::string &node) {
    return "count: " + count + "\nopening " + node + "\n";
}

// quenzor's whole report of one transfer: its head (count, node, mode and
// transfer lines, dump heading), then body (the dump and, after a receive,
// the verdict) and the closing line feeds.
std::string report(Xfer xfer, const std::string &count, const std::string &body,
                   const std::string &node = "/dev/hsspi", const std::string &mode = kMaster) {
    std::string s = opening(count, node) + mode;
    if (xfer == Tx)
        return s + "Tx mode *****\nWill send " + count + " data by " + node +
               ".\n\n*****Data Written( " + count + " data)*****\n" + body + "\n\n";
    return s + "Rx mode *****\nWill receive " + count + " data from " + node +
           ".\n\n*****Data Read( " + count + " data)****\n" + body + "\n\n\n\n";
}

void expect_clean(const RunResult &r) {
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
}

} // namespace

// A wrong argument count prints only the usage; a count above the limit or
// negative is refused before anything is opened.
TEST(CommandLine, RefusedBeforeOpening) {
    Sandbox box;
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, kUsage},
        {{"20", "0", "0"}, kUsage},
        {{"20", "0", "0", "0", "0"}, kUsage},
        {{"65537", "0", "0", "0"}, kLimit + kUsage},
        {{"-1", "0", "0", "0"}, kLimit + kUsage},
        {{"99999999", "0", "0", "0"}, kLimit + kUsage}};
    for (const auto &[args, out] : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        RunResult r = box.run(args);
        expect_clean(r);
        EXPECT_EQ(r.out, out);
        EXPECT_THAT(r.trace, IsEmpty());
    }
}

// One run each: the whole report and every call that reaches the driver.
TEST(Scenarios, ReportAndDriverCalls) {
    struct Scenario {
        std::vector<std::string> args;
        std::string out;
        std::vector<std::string> trace;
        const char *rx = nullptr; // the stand-in's receive setting
    };
    std::vector<Scenario> cases = {
        // A full-size block is sent in one write.
        {{"65536", "0", "0", "0"},
         report(Tx, "65536", dump(pattern_values(65536), " %x ")),
         node_calls("/dev/hsspi", "0x155", {"write 65536 " + pattern_hex(65536) + " -> 65536"})},
        // A count that is not a number is zero.
        {{"many", "0", "0", "0"},
         report(Tx, "0", ""),
         node_calls("/dev/hsspi", "0x155", {"write 0  -> 0"})},
        // Another xfer moves no data but still sets the flags and pauses.
        {{"100", "0", "2", "0"},
         opening("100", "/dev/hsspi") + kMaster + std::string(8, '\n'),
         node_calls("/dev/hsspi", "0x155", {})},
        // Zero bytes compare equal.
        {{"0", "2", "1", "0"},
         report(Rx, "0", kOk, "/dev/hsspi", ""),
         node_calls("/dev/hsspi", "0x154", {"read 0 -> 0"})},
        // A failed read is reported as a failed receive.
        {{"4", "0", "1", "0"},
         report(Rx, "4", "0 0 0 0 " + kFailed),
         node_calls("/dev/hsspi", "0x155", {"read 4 -> -1 EIO"}),
         "error"},
    };
    // The device argument chooses the node: 0 or no number for the first.
    for (auto [dev, node] : std::vector<std::pair<std::string, std::string>>{{"0", "/dev/hsspi"},
                                                                             {"abc", "/dev/hsspi"},
                                                                             {"1", "/dev/spi"},
                                                                             {"2", "/dev/spi"},
                                                                             {"-1", "/dev/spi"},
                                                                             {" +7x", "/dev/spi"}})
        cases.push_back({{"1", "0", "0", dev},
                         report(Tx, "1", " 0 ", node),
                         node_calls(node, "0x155", {"write 1 00 -> 1"})});
    // The flags word and the mode text follow the mode.
    for (auto [mode, flags, text] : std::vector<std::array<std::string, 3>>{{"0", "0x155", kMaster},
                                                                            {"1", "0x156", kSlave},
                                                                            {"2", "0x154", ""},
                                                                            {"-1", "0x154", ""}})
        cases.push_back({{"2", mode, "0", "1"},
                         report(Tx, "2", " 0  1 ", "/dev/spi", text),
                         node_calls("/dev/spi", flags, {"write 2 0001 -> 2"})});
    Sandbox box;
    for (const Scenario &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        if (c.rx != nullptr)
            box.env["RX"] = c.rx;
        else
            box.env.erase("RX");
        RunResult r = box.run(c.args);
        expect_clean(r);
        EXPECT_EQ(r.out, c.out);
        EXPECT_THAT(r.trace, ElementsAreArray(c.trace));
    }
}

TEST(Dump, SendLayouts) {
    Sandbox box;
    const std::string first16 = " 0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f ";
    EXPECT_EQ(box.run({"16", "0", "0", "0"}).out, report(Tx, "16", first16));
    EXPECT_EQ(box.run({"17", "0", "0", "0"}).out, report(Tx, "17", first16 + " 10 \n"));
    EXPECT_EQ(box.run({"20", "0", "0", "0"}).out, report(Tx, "20", first16 + " 10 \n 11  12  13 "));
    EXPECT_EQ(box.run({"40", "0", "0", "0"}).out,
              report(Tx, "40",
                     first16 + " 10 \n 11  12  13  14  15  16  17  18  19  1a  1b  1c  1d  1e "
                               " 1f  0 \n 1  2  3  4  5  6  7 "));
}

TEST(Receive, LoopbackOfAPreviousSendSucceeds) {
    Sandbox box;
    box.env["RX"] = "loopback";
    box.env["STATE"] = box.dir() + "/wire";
    RunResult tx = box.run({"64", "0", "0", "0"});
    expect_clean(tx);
    RunResult rx = box.run({"64", "1", "1", "0"});
    expect_clean(rx);
    EXPECT_EQ(rx.out,
              report(Rx, "64", dump(pattern_values(64), "%x ") + kOk, "/dev/hsspi", kSlave));
    EXPECT_THAT(rx.trace, ElementsAreArray(node_calls("/dev/hsspi", "0x156", {"read 64 -> 64"})));
}

// A receive that fails or returns less than Count fails, even where the
// zeros left in the buffer equal the pattern (it has a 0 at every multiple
// of 32). Every byte not delivered shows as 0, also where the buffer lies
// on stack that earlier work left non-zero (fresh stack pages are zero).
TEST(Receive, NothingOrTooLittleReceivedFails) {
    Sandbox box;
    box.env["STACK_FILL"] = "a5";
    struct Case {
        const char *rx;
        const char *limit;
        unsigned count;
        unsigned delivered;
        const char *read_result = nullptr; // the trace's, when not the delivered count
    };
    for (const Case &c :
         {Case{"none", "-1", 1, 0}, Case{"none", "-1", 2, 0}, Case{"error", "-1", 1, 0, "-1 EIO"},
          Case{"pattern", "18", 20, 18}, Case{"pattern", "32", 33, 32},
          Case{"none", "-1", 65536, 0}, Case{"pattern", "40000", 65536, 40000}}) {
        SCOPED_TRACE(std::string(c.rx) + " " + std::to_string(c.count));
        box.env["RX"] = c.rx;
        box.env["RX_LIMIT"] = c.limit;
        const std::string n = std::to_string(c.count);
        RunResult r = box.run({n, "1", "1", "0"});
        expect_clean(r);
        std::vector<unsigned> got = pattern_values(c.delivered);
        got.resize(c.count, 0);
        EXPECT_EQ(r.out, report(Rx, n, dump(got, "%x ") + kFailed, "/dev/hsspi", kSlave));
        EXPECT_THAT(r.trace, ElementsAreArray(node_calls(
                                 "/dev/hsspi", "0x156",
                                 {"read " + n + " -> " +
                                  (c.read_result != nullptr ? std::string(c.read_result)
                                                            : std::to_string(c.delivered))})));
    }
}

TEST(Receive, CorruptedByteFails) {
    Sandbox box;
    box.env["RX"] = "pattern";
    box.env["CORRUPT"] = "65535";
    RunResult r = box.run({"65536", "0", "1", "0"});
    expect_clean(r);
    std::vector<unsigned> got = pattern_values(65536);
    got.back() ^= 0xff;
    EXPECT_EQ(r.out, report(Rx, "65536", dump(got, "%x ") + kFailed));

    box.env.erase("CORRUPT");
    RunResult whole = box.run({"65536", "0", "1", "0"});
    expect_clean(whole);
    EXPECT_NE(whole.out.find(kOk), std::string::npos);
}

TEST(DriverFailures, OpenFailureIsReportedOnStandardOutput) {
    Sandbox box;
    box.env["NODES"] = "/dev/spi"; // only the other node exists
    RunResult r = box.run({"20", "0", "0", "0"});
    expect_clean(r);
    EXPECT_EQ(r.out, opening("20", "/dev/hsspi") + "\nCan not open /dev/hsspi (-1)\n");
    EXPECT_THAT(r.trace, ElementsAre("open /dev/hsspi flags=0x2 -> -1 ENOENT"));
}

TEST(DriverFailures, RefusedRequestsAndShortWriteDoNotChangeTheReport) {
    Sandbox box;
    RunResult normal = box.run({"20", "0", "0", "1"});
    box.env["IOCTL_FAIL"] = "1";
    box.env["WRITE_LIMIT"] = "3";
    RunResult r = box.run({"20", "0", "0", "1"});
    expect_clean(r);
    EXPECT_EQ(r.out, normal.out);
    EXPECT_THAT(r.trace,
                ElementsAre("open /dev/spi flags=0x2 -> fd", "ioctl 0x701 0x2 -> -1 EIO",
                            "ioctl 0x702 0x5 -> -1 EIO", "ioctl 0x704 0x155 -> -1 EIO",
                            "write 20 " + pattern_hex(20) + " -> 3", "usleep 5", "close -> 0"));
}
