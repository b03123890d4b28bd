// SPDX-License-Identifier: GPL-2.0-only
// Runs quenzor as a process with the SPI driver stand-in preloaded, and
// collects what it printed, its exit status and what the stand-in recorded.
#pragma once

#include <map>
#include <string>
#include <vector>

struct Target {
    std::string name;
    std::vector<std::string> launcher; // the board emulator (run-board); empty for native
    std::string quenzor;
    std::string standin;
};

// Defined by each test program's main file: the build under test.
const Target &target();

struct RunResult {
    std::string out;
    std::string err;
    int status = -1; // exit status, or -1 when the process did not exit normally
    std::vector<std::string> trace;
};

class Sandbox {
  public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox &) = delete;
    Sandbox &operator=(const Sandbox &) = delete;

    // Stand-in settings (SPI_STANDIN_* without the prefix) for the next runs.
    std::map<std::string, std::string> env;

    RunResult run(const std::vector<std::string> &args);
    const std::string &dir() const {
        return dir_;
    }

  private:
    std::string dir_;
};

std::string read_file(const std::string &path);
