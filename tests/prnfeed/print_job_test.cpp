// SPDX-License-Identifier: GPL-2.0-only
// The print job: chunks, progress, final status, failures and cleanup.
#include "support.h"

#include <sys/stat.h>

#include <functional>

namespace {

using standin::sys;

class PrintJob : public PrnfeedTest {
  protected:
    void SetUp() override {
        PrnfeedTest::SetUp();
        printer = &add_usb_printer();
    }
    std::string out_pipe() const {
        return std::string(PRINTER_PATH) + "\\PIPE00";
    }
    standin::Interface *printer = nullptr;
};

std::string progress(std::initializer_list<int> sent, int size) {
    std::string text;
    for (int s : sent) {
        text += "Printing....(" + std::to_string(s) + "/" + std::to_string(size) + ")\r";
    }
    return text;
}

TEST_F(PrintJob, FilesAreSentByteForByteInChunksOf4096) {
    struct {
        std::size_t size;
        std::vector<DWORD> writes;
        std::string progress;
    } cases[] = {{0, {}, ""},
                 {1, {1}, progress({0}, 1)},
                 {4096, {4096}, progress({0}, 4096)},
                 {4097, {4096, 1}, progress({0, 4096}, 4097)},
                 {10000, {4096, 4096, 1808}, progress({0, 4096, 8192}, 10000)}};
    for (const auto &c : cases) {
        printer = &fresh_printer();
        std::string file = make_file("job.prn", pattern(c.size, 7));
        Outcome run = run_prnfeed({file});
        EXPECT_EQ(run.exit_value, 0) << c.size;
        EXPECT_EQ(run.out,
                  banner() + "Printing to P-100\n" + c.progress + "\nPrinting complete...!\n")
            << c.size;
        EXPECT_EQ(run.err, "") << c.size;
        EXPECT_EQ(printer->printer.received, pattern(c.size, 7)) << c.size;
        EXPECT_EQ(printer->printer.write_sizes, c.writes) << c.size;
        // One read more than chunks: the one that finds the end.
        EXPECT_EQ(static_cast<std::size_t>(count_calls("ReadFile")), c.writes.size() + 1);
        EXPECT_CLEAN();
    }
}

TEST_F(PrintJob, LargeFileIsStreamedThroughOneBlock) {
    const std::size_t size = 5 * 1024 * 1024 + 123;
    std::string file = make_file("large.prn", pattern(size, 3));
    Outcome run = run_prnfeed({file});
    EXPECT_EQ(run.exit_value, 0);
    EXPECT_TRUE(printer->printer.received == pattern(size, 3));
    EXPECT_EQ(printer->printer.largest_write, 4096u);
    EXPECT_EQ(printer->printer.writes, size / 4096 + 1);
    EXPECT_EQ(count_calls("GlobalAlloc"), 2); // discovery's detail block, then the transfer block
    std::string last = "Printing....(" + std::to_string(size - 123) + "/" + std::to_string(size) +
                       ")\r\nPrinting complete...!\n";
    EXPECT_EQ(run.out.substr(run.out.size() - last.size()), last);
}

// Order of effects: open the file, take its size, open the output pipe, get
// the block; the pass reopens the file; release; the pipe paths of the
// device that answered.
TEST_F(PrintJob, EffectsComeInOrderAndEverythingIsReleased) {
    std::string file = make_file("job.prn", pattern(5000));
    Outcome run = run_prnfeed({file});
    ASSERT_EQ(run.exit_value, 0);
    std::vector<std::string> tail;
    bool device_closed = false;
    for (const standin::Call &call : named_calls()) {
        if (device_closed) {
            tail.push_back(call.function + " " + call.args);
        }
        if (call.function == "CloseHandle") {
            device_closed = true;
        }
    }
    std::vector<std::string> expected = {
        "CreateFileA " + file + ", 80000000, 0, NULL, 3, 80, NULL",
        "GetFileSize file, NULL",
        "CreateFileA " + out_pipe() + ", C0000000, 0, NULL, 3, 0, NULL",
        "GlobalAlloc 2040, 4096",
        "GlobalLock block",
        "CloseHandle file",
        "CreateFileA " + file + ", 80000000, 0, NULL, 3, 80, NULL",
        "ReadFile file, 4096",
        "WriteFile out, 4096",
        "ReadFile file, 4096",
        "WriteFile out, 904",
        "ReadFile file, 4096",
        "CloseHandle file",
        "CloseHandle out",
        "GlobalUnlock block",
        "GlobalFree block",
    };
    EXPECT_EQ(tail, expected);
}

// A failure stops the pass (exit 0, "Printer Error...!") or, before any
// data, the job (exit -1); everything opened is closed either way.
TEST_F(PrintJob, FailuresStopThePassOrTheJob) {
    const std::string job = "Printing to P-100\n" + progress({0}, 10000) + "\n";
    const std::string read_error = "\tError reading file..(job.prn)\nPrinter Error...!";
    const std::string no_block = "\tMemory allocation error...(4096)\n";
    const struct {
        const char *what;
        std::function<void(standin::Interface &)> set;
        int exit_value;
        std::string out; // after the banner
        std::string err;
        std::size_t received; // the file's first bytes
        int reads;            // of the file
        int blocks;           // transfer blocks asked for
    } cases[] = {
        // No chunk is read after a short write.
        {"short write",
         [](standin::Interface &p) {
             p.printer.short_write_at = 2;
             p.printer.short_write_accepts = 100;
         },
         0, job, "Write port error code=31\nPrinter Error...!", 4096 + 100, 2, 1},
        {"read error", [](standin::Interface &) { sys().file_read_fail_at = 2; }, 0, job,
         read_error, 4096, 2, 1},
        // A failed reopen is a read error; nothing bogus is closed.
        {"reopen fails", [](standin::Interface &) { sys().file_open_fail_at = 2; }, 0,
         "Printing to P-100\n\n", read_error, 0, 1, 1},
        {"output pipe does not open",
         [](standin::Interface &p) { p.printer.out_open_fail_from = 1; }, -1, "",
         "Open port " + out_pipe() + " error.\n", 0, 0, 0},
        // No transfer block: nothing is sent.
        {"no block", [](standin::Interface &) { sys().global_alloc_fail_at = 2; }, -1, "", no_block,
         0, 0, 1},
        {"block does not lock", [](standin::Interface &) { sys().global_lock_fails = true; }, -1,
         "", no_block, 0, 0, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        printer = &fresh_printer();
        c.set(*printer);
        standin::Bytes data = pattern(10000);
        Outcome run = run_prnfeed({make_file("job.prn", data)});
        EXPECT_EQ(run.exit_value, c.exit_value);
        EXPECT_EQ(run.out, banner() + c.out);
        EXPECT_EQ(run.err, c.err);
        data.resize(c.received);
        EXPECT_EQ(printer->printer.received, data);
        EXPECT_EQ(count_calls("ReadFile"), c.reads);
        EXPECT_EQ(count_calls("GlobalAlloc"), 1 + c.blocks); // discovery's detail block first
        EXPECT_CLEAN();
    }
}

TEST_F(PrintJob, FileThatDoesNotOpenStopsBeforeThePipe) {
    std::string file = make_file("held.prn", pattern(10));
    // Held exclusively by another program.
    HANDLE held = CreateFileA(file.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::string missing = "missing.prn";
    // Not a file at all: a FIFO without a writer, where a blocking open
    // would wait for ever, and a directory.
    std::string fifo = "fifo.prn";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string &name : {file, missing, fifo, std::string(".")}) {
        sys().calls.clear();
        Outcome run = run_prnfeed({name});
        EXPECT_EQ(run.exit_value, -1);
        EXPECT_EQ(run.out, banner());
        EXPECT_EQ(run.err, "\tFile open error...(" + name + ")");
        EXPECT_EQ(calls_of("CreateFileA").size(), 2u); // device, then the file
    }
    CloseHandle(held);
    EXPECT_EQ(printer->printer.writes, 0u);
}

} // namespace
