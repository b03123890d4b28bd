// SPDX-License-Identifier: GPL-2.0-only
// Helpers for running prnfeed in-process against the simulated system.
#ifndef PRNFEED_TEST_SUPPORT_H
#define PRNFEED_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "in_process.h"

// The same with the command-line build, in a process of its own in the
// working directory, with the printer description file `description` (""
// for none). Its exit value is the process's.
Outcome run_cli(const std::string &description, const std::vector<std::string> &args);

class PrnfeedTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // A data file in a fresh directory of this test, which is also the
    // working directory while the test runs. Returns the name relative to it:
    // an argument starting with '/' would be a line code.
    std::string make_file(const std::string &name, const standin::Bytes &content);
    // Writes the printer description file of the test ("printer.txt") and
    // returns its name.
    std::string describe(const std::string &text);
    std::string dir;
    std::string previous_dir;
};

// Fills the stack below the caller with 'X', as the earlier calls of a run
// leave it, so that a local buffer of the tool's that is not cleared shows.
void dirty_stack();

// Nothing left open, nothing misused.
#define EXPECT_CLEAN()                                                                             \
    do {                                                                                           \
        EXPECT_EQ(standin::open_handles(), std::vector<std::string>());                            \
        EXPECT_EQ(standin::live_blocks(), std::vector<std::string>());                             \
        EXPECT_EQ(standin::sys().misuse, std::vector<std::string>());                              \
    } while (0)

#endif
