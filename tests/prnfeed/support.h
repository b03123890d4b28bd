// Helpers for running prnfeed in-process against the simulated system.
#ifndef PRNFEED_TEST_SUPPORT_H
#define PRNFEED_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "prnfeed.h"
#include "standin.h"

int prnfeed_main(int argc, char *argv[]);

// Back to a fresh process on a fresh system: the stand-in reset and the
// tool's own state (the pipe-path buffers) empty.
void reset_prnfeed();

struct Outcome {
    int exit_value;
    std::string out; // standard output, bytes as written
    std::string err; // standard error
};
using Run = Outcome; // not usable inside a test body, where Run names the test's method

// Runs prnfeed's main with the given arguments (argv[0] is added) and
// captures what it writes to file descriptors 1 and 2.
Outcome run_prnfeed(const std::vector<std::string> &args);

// Standard USB printing class printer: path, and an ID naming it P-100.
extern const char PRINTER_PATH[];
standin::Interface &add_usb_printer(const std::string &path = PRINTER_PATH,
                                    const std::string &id = "MFG:Maker;MDL:P-100;CLS:PRINTER;");

std::string banner();
std::string read_file(const std::string &path);
standin::Bytes pattern(std::size_t size, unsigned seed = 1);

class PrnfeedTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // A data file in a fresh directory of this test, which is also the
    // working directory while the test runs. Returns the name relative to it:
    // an argument starting with '/' would be a line code.
    std::string make_file(const std::string &name, const standin::Bytes &content);
    std::string dir;
    std::string previous_dir;
};

// Nothing left open, nothing misused.
#define EXPECT_CLEAN()                                                                             \
    do {                                                                                           \
        EXPECT_EQ(standin::open_handles(), std::vector<std::string>());                            \
        EXPECT_EQ(standin::live_blocks(), std::vector<std::string>());                             \
        EXPECT_EQ(standin::sys().misuse, std::vector<std::string>());                              \
    } while (0)

// Logged calls of one function, as "args -> result".
std::vector<std::string> calls_of(const std::string &function);
int count_calls(const std::string &function);

#endif
