// SPDX-License-Identifier: GPL-2.0-only
// The printer's pipes: one exclusive synchronous open and one synchronous
// transfer each. A short transfer is reported on standard error with the
// system's error code; the caller decides what it means.
#include <windows.h>
#include <stdio.h>

#include "prnfeed.h"

HANDLE open_port(const char *path) {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
}

DWORD read_port(HANDLE port, void *buffer, DWORD count) {
    DWORD done = 0;
    if (!ReadFile(port, buffer, count, &done, NULL)) {
        done = 0;
    }
    if (done != count) {
        fprintf(stderr, "Read port error code=%d.\n", (int)GetLastError());
    }
    return done;
}

DWORD write_port(HANDLE port, const void *data, DWORD count) {
    DWORD done = 0;
    if (!WriteFile(port, data, count, &done, NULL)) {
        done = 0;
    }
    if (done != count) {
        fprintf(stderr, "Write port error code=%d\n", (int)GetLastError());
    }
    return done;
}
