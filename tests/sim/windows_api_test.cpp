// SPDX-License-Identifier: GPL-2.0-only
// The Windows-API stand-in's kernel32 where it must answer as Windows does
// beyond what prnfeed's own tests show.
#include "support.h"

namespace {

using Kernel32 = PrnfeedTest;

// A successful open leaves 0 as the last error, whatever was there (a later
// short read reports that 0); a refused open sets its own error.
TEST_F(Kernel32, SuccessfulOpenClearsTheLastError) {
    add_usb_printer();
    make_file("job.prn", pattern(10));
    const std::string pipe = std::string(PRINTER_PATH) + "\\PIPE01";
    for (const std::string &path : {std::string(PRINTER_PATH), pipe, std::string("job.prn")}) {
        SCOPED_TRACE(path);
        SetLastError(ERROR_NO_MORE_ITEMS);
        HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL,
                                    OPEN_EXISTING, 0, NULL);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), 0u);
        CloseHandle(handle);
    }
    SetLastError(0);
    EXPECT_EQ(CreateFileA("missing.prn", GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

} // namespace
