// SPDX-License-Identifier: GPL-2.0-only
// Scenarios against the board binary under emulation (the arm toolchain's
// emulator, pinned to the board's CPU) with the ARM stand-in preloaded
// inside the emulated process, plus checks that the binary will
// load on the board: ARMv5TE EABI5, little endian, at a fixed address, only
// libc.so.6, and no symbol version newer than GLIBC_2.4. The same checks
// (BoardBinary.*) take another board program from BOARD_BINARY: the user's
// guide's example program.
#include "harness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <regex>
#include <set>

const Target &target() {
    static const Target t{"arm", {RUN_BOARD}, QUENZOR_PATH, STANDIN_PATH};
    return t;
}

namespace {

const std::string &board_binary() {
    static const char *other = getenv("BOARD_BINARY");
    static const std::string path = other != nullptr ? other : target().quenzor;
    return path;
}

std::string readelf(const std::string &opts) {
    std::string cmd = "arm-linux-gnueabi-readelf " + opts + " '" + board_binary() + "' 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    if (p == nullptr)
        return "";
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    EXPECT_EQ(pclose(p), 0) << cmd << "\n" << out;
    return out;
}

// The first capture group of every match of pattern in text, in order.
std::vector<std::string> first_groups(const std::string &text, const char *pattern) {
    std::regex re(pattern);
    std::vector<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
         ++it)
        found.push_back((*it)[1]);
    return found;
}

} // namespace

TEST(BoardBinary, HeaderAndAttributes) {
    std::string h = readelf("-h");
    EXPECT_THAT(h, testing::ContainsRegex("Class: +ELF32"));
    EXPECT_THAT(h, testing::ContainsRegex("Data: +2's complement, little endian"));
    // Not position-independent.
    EXPECT_THAT(h, testing::ContainsRegex("Type: +EXEC "));
    EXPECT_THAT(h, testing::ContainsRegex("Machine: +ARM"));
    EXPECT_THAT(h, testing::HasSubstr("Version5 EABI"));
    EXPECT_THAT(readelf("-A"), testing::ContainsRegex("Tag_CPU_arch: v5TE\n"));
    EXPECT_THAT(readelf("-l"), testing::HasSubstr("[Requesting program interpreter: "
                                                  "/lib/ld-linux.so.3]"));
}

TEST(BoardBinary, NeedsOnlyTheCLibrary) {
    std::string d = readelf("-d");
    EXPECT_THAT(first_groups(d, R"(\(NEEDED\)\s+Shared library: \[([^\]]+)\])"),
                testing::ElementsAre("libc.so.6"));
    // The board's dynamic linker predates the GNU hash section.
    EXPECT_THAT(d, testing::HasSubstr("(HASH)"));
}

TEST(BoardBinary, NoSymbolVersionNewerThanGlibc24) {
    std::string v = readelf("-V");
    std::vector<std::string> names = first_groups(v, R"(Name: (GLIBC_[0-9.]+) )");
    std::set<std::string> versions(names.begin(), names.end());
    EXPECT_THAT(versions, testing::ElementsAre("GLIBC_2.4"));
    EXPECT_THAT(readelf("--dyn-syms -W"),
                testing::Not(testing::ContainsRegex("@GLIBC_2\\.[5-9]|"
                                                    "@GLIBC_2\\.[1-9][0-9]")));
}

int main(int argc, char **argv) {
    testing::InitGoogleTest(&argc, argv);
    struct stat st;
    for (const std::string &f : {board_binary(), target().standin, std::string(RUN_BOARD)})
        if (stat(f.c_str(), &st) != 0)
            fprintf(stderr, "missing %s: build the arm preset first\n", f.c_str());
    return RUN_ALL_TESTS();
}
