// SPDX-License-Identifier: GPL-2.0-only
// prnfeed run in-process against the simulated system, without a test
// framework: the tests and the fuzz harness share it.
#ifndef PRNFEED_IN_PROCESS_H
#define PRNFEED_IN_PROCESS_H

#include <functional>
#include <string>
#include <vector>

#include "prnfeed.h"
#include "standin.h"

int prnfeed_main(int argc, char *argv[]);

struct Outcome {
    int exit_value;
    std::string out; // standard output, bytes as written
    std::string err; // standard error
};
using Run = Outcome; // not usable inside a test body, where Run names the test's method

// Runs prnfeed's main with the given arguments (argv[0] is added) and
// captures what it writes to file descriptors 1 and 2.
Outcome run_prnfeed(const std::vector<std::string> &args);
// Runs body with what it writes to file descriptors 1 and 2 captured.
Outcome capture(const std::function<int()> &body);
// argv of a program called `name` with the arguments, pointing into `storage`.
std::vector<char *> argv_of(const std::string &name, const std::vector<std::string> &args,
                            std::vector<std::string> &storage);

// Standard USB printing class printer: path, and an ID naming it P-100.
extern const char PRINTER_PATH[];
extern const char PRINTER_ID[];
standin::Interface &add_usb_printer(const std::string &path = PRINTER_PATH,
                                    const std::string &id = PRINTER_ID);

// Back to a fresh process's state: the simulated system without printers
// and the tool's own state; fresh_printer() then attaches one printer.
void fresh_system();
standin::Interface &fresh_printer(const std::string &path = PRINTER_PATH,
                                  const std::string &id = PRINTER_ID);

std::string banner();
std::string read_file(const std::string &path);
standin::Bytes pattern(std::size_t size, unsigned seed = 1);

// The logged calls with every handle named by what it opened, not by its
// number: "device", "out" (output pipe), "in" (input pipe), "file", "set"
// (device set); one opened while another of its name is open gets " 2",
// ... A handle used after it was closed keeps its number.
std::vector<standin::Call> named_calls();
// Logged calls of one function, as "args -> result", handles named.
std::vector<std::string> calls_of(const std::string &function);
int count_calls(const std::string &function);
// The pipe and file calls of the run in short: "open out", "write out 10",
// "sleep 500", "read in 26", "close out", "time", "open in fails", ...
// (reads of data files left out).
std::vector<std::string> trace();

#endif
