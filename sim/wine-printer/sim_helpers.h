// SPDX-License-Identifier: GPL-2.0-only
/* Small helpers of the simulated printer driver: files in the wine prefix
 * through the kernel's Zw calls, and text built and parsed without the C
 * library, which a driver does not have. */
#ifndef SIM_HELPERS_H
#define SIM_HELPERS_H

#include <ntddk.h>

/* Opens a file (FILE_OPEN, FILE_OVERWRITE_IF, ...) for synchronous I/O with
 * the given access. Returns NULL when it does not open. */
HANDLE sim_open_file(const WCHAR *path, ACCESS_MASK access, ULONG disposition);
/* Closes *handle if open and sets it to NULL. */
void sim_close_file(HANDLE *handle);
/* Writes length bytes; nothing when handle is NULL. */
void sim_write_file(HANDLE handle, const void *data, ULONG length);
/* Reads a whole small file into buffer (NUL-terminated). Returns the byte
 * count, or -1 when the file does not open. */
long sim_read_small_file(const WCHAR *path, char *buffer, ULONG size);

enum { EVENT_LINE_MAX = 128 };

/* Event log lines, built without the C library. */
struct line {
    char text[EVENT_LINE_MAX];
    ULONG length;
};

void sim_add_text(struct line *line, const char *text);
/* value in the given base (10 or 16), no padding. */
void sim_add_number(struct line *line, unsigned long value, unsigned base);
/* 1 when the two texts are equal. */
int sim_same_text(const char *a, const char *b);

#endif
