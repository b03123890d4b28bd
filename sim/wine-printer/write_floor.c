// SPDX-License-Identifier: GPL-2.0-only
/* The floor for the wine benchmark: the least a program can do to put a
 * given number of bytes into the printer's output pipe. It opens the pipe
 * once and writes from one 4096-byte buffer in synchronous 4096-byte
 * WriteFile calls (a shorter last one); it reads no file, prints nothing and
 * asks the device nothing. Any sender of that many bytes in such chunks
 * needs at least these calls, and each is a round trip through wine's server
 * to the driver, so its rate is what that round trip allows. The printer
 * counts print data and ignores its content.
 *
 *   write-floor.exe <pipe path> <byte count>   exit 0 when every byte was taken */
#include <windows.h>
#include <stdlib.h>

enum { CHUNK_SIZE = 4096 };

int main(int argc, char *argv[]) {
    static char buffer[CHUNK_SIZE];
    HANDLE pipe;
    char *end = NULL;
    unsigned long left;
    DWORD put = 0;
    int ok = 1;
    if (argc != 3) {
        return 2;
    }
    left = strtoul(argv[2], &end, 10);
    if (end == argv[2] || *end != '\0') {
        return 2;
    }
    pipe = CreateFileA(argv[1], GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (pipe == INVALID_HANDLE_VALUE) {
        return 1;
    }
    while (ok && left > 0) {
        DWORD n = left < CHUNK_SIZE ? (DWORD)left : CHUNK_SIZE;
        ok = WriteFile(pipe, buffer, n, &put, NULL) && put == n;
        left -= n;
    }
    CloseHandle(pipe);
    return ok ? 0 : 1;
}
