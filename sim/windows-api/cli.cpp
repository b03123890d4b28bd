// SPDX-License-Identifier: GPL-2.0-only
// Start-up of the command-line build against the stand-in: the printer
// attached is the one the file named by PRNFEED_STANDIN_PRINTER describes
// (no variable: no printer attached). The module path and the local time
// are those of the host unless the description sets them. What the printers
// keep (their serial numbers) comes from and goes back to the state file
// (description.cpp), never into the description. At exit the summary is
// written where the description says.
#include "standin.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

void finish() {
    using namespace standin;
    for (Interface &iface : sys().interfaces) {
        if (iface.printer.stream != nullptr) {
            std::fclose(iface.printer.stream);
            iface.printer.stream = nullptr;
        }
    }
    // The printer keeps a programmed serial number across runs.
    if (!sys().state_path.empty()) {
        std::string error = store_state(sys().state_path);
        if (!error.empty()) {
            std::fprintf(stderr, "win-standin: %s\n", error.c_str());
        }
    }
    if (!sys().summary_path.empty()) {
        std::FILE *out = std::fopen(sys().summary_path.c_str(), "w");
        if (out != nullptr) {
            write_summary(out);
            std::fclose(out);
        }
    }
}

struct Startup {
    Startup() {
        using namespace standin;
        // Large transfers are counted, not logged call by call.
        sys().max_logged_calls = 10000;

        char self[4096];
        ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
        if (length > 0) {
            self[length] = '\0';
            sys().module_path = self;
        }
        std::time_t now = std::time(nullptr);
        std::tm local;
        if (localtime_r(&now, &local) != nullptr) {
            SYSTEMTIME &t = sys().local_time;
            t.wYear = static_cast<WORD>(local.tm_year + 1900);
            t.wMonth = static_cast<WORD>(local.tm_mon + 1);
            t.wDayOfWeek = static_cast<WORD>(local.tm_wday);
            t.wDay = static_cast<WORD>(local.tm_mday);
            t.wHour = static_cast<WORD>(local.tm_hour);
            t.wMinute = static_cast<WORD>(local.tm_min);
            t.wSecond = static_cast<WORD>(local.tm_sec);
            t.wMilliseconds = 0;
        }

        const char *description = std::getenv("PRNFEED_STANDIN_PRINTER");
        if (description != nullptr && description[0] != '\0') {
            std::string error = load_description(description);
            if (error.empty()) {
                error = load_state(sys().state_path);
            }
            if (!error.empty()) {
                std::fprintf(stderr, "win-standin: %s\n", error.c_str());
                std::_Exit(97);
            }
        }
        std::atexit(finish);
    }
};

Startup startup;

} // namespace
