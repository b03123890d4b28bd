// SPDX-License-Identifier: GPL-2.0-only
/* The floor for the wine benchmark: copies a file to a pipe path in
 * synchronous 4096-byte WriteFile calls and does nothing else (no device
 * query, no output per chunk), so that its rate is what wine's round trip to
 * the driver allows.
 *
 *   write-floor.exe <pipe path> <file>   exit 0 when every byte was taken */
#include <windows.h>

int main(int argc, char *argv[]) {
    static char buffer[4096];
    HANDLE pipe, file;
    DWORD got = 0, put = 0;
    int ok = 1;
    if (argc != 3) {
        return 2;
    }
    pipe = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    file = CreateFileA(argv[2], GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (pipe == INVALID_HANDLE_VALUE || file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    while (ok && ReadFile(file, buffer, sizeof(buffer), &got, NULL) && got > 0) {
        ok = WriteFile(pipe, buffer, got, &put, NULL) && put == got;
    }
    CloseHandle(file);
    CloseHandle(pipe);
    return ok ? 0 : 1;
}
