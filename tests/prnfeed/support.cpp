// SPDX-License-Identifier: GPL-2.0-only
#include "support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

Outcome run_cli(const std::string &description, const std::vector<std::string> &args) {
    std::vector<std::string> storage;
    std::vector<char *> argv = argv_of(PRNFEED_CLI, args, storage);
    return capture([&] {
        pid_t child = fork();
        if (child == 0) {
            if (description.empty()) {
                unsetenv("PRNFEED_STANDIN_PRINTER");
            } else {
                setenv("PRNFEED_STANDIN_PRINTER", description.c_str(), 1);
            }
            execv(argv[0], argv.data());
            _exit(127);
        }
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child) {
            return -1;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    });
}

void PrnfeedTest::SetUp() {
    fresh_system();
    char templ[] = "/tmp/prnfeed-test-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    dir = templ;
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    previous_dir = cwd;
    ASSERT_EQ(chdir(dir.c_str()), 0);
}

void PrnfeedTest::TearDown() {
    EXPECT_CLEAN();
    fresh_system();
    EXPECT_EQ(chdir(previous_dir.c_str()), 0);
    std::string command = "rm -rf '" + dir + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
}

std::string PrnfeedTest::describe(const std::string &text) {
    std::ofstream(dir + "/printer.txt") << text;
    return "printer.txt";
}

std::string PrnfeedTest::make_file(const std::string &name, const standin::Bytes &content) {
    std::ofstream out(dir + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char *>(content.data()),
              static_cast<std::streamsize>(content.size()));
    return name;
}

__attribute__((noinline)) void dirty_stack() {
    volatile char junk[32768];
    for (auto &c : junk) {
        c = 'X';
    }
}
