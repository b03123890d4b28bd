// SPDX-License-Identifier: GPL-2.0-only
/* Small helpers of the simulated printer driver (sim_helpers.h). */
#include "sim_helpers.h"

HANDLE sim_open_file(const WCHAR *path, ACCESS_MASK access, ULONG disposition) {
    UNICODE_STRING name;
    OBJECT_ATTRIBUTES attributes;
    IO_STATUS_BLOCK io;
    HANDLE handle = NULL;
    RtlInitUnicodeString(&name, path);
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL,
                               NULL);
    if (!NT_SUCCESS(ZwCreateFile(
            &handle, access | SYNCHRONIZE, &attributes, &io, NULL, FILE_ATTRIBUTE_NORMAL,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, disposition,
            FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, NULL, 0))) {
        return NULL;
    }
    return handle;
}

void sim_close_file(HANDLE *handle) {
    if (*handle != NULL) {
        ZwClose(*handle);
        *handle = NULL;
    }
}

void sim_write_file(HANDLE handle, const void *data, ULONG length) {
    IO_STATUS_BLOCK io;
    if (handle != NULL && length > 0) {
        ZwWriteFile(handle, NULL, NULL, NULL, &io, (PVOID)data, length, NULL, NULL);
    }
}

long sim_read_small_file(const WCHAR *path, char *buffer, ULONG size) {
    IO_STATUS_BLOCK io;
    long total = 0;
    HANDLE handle = sim_open_file(path, GENERIC_READ, FILE_OPEN);
    if (handle == NULL) {
        return -1;
    }
    while ((ULONG)total < size - 1) {
        io.Information = 0;
        if (!NT_SUCCESS(ZwReadFile(handle, NULL, NULL, NULL, &io, buffer + total,
                                   size - 1 - (ULONG)total, NULL, NULL)) ||
            io.Information == 0) {
            break;
        }
        total += (long)io.Information;
    }
    ZwClose(handle);
    buffer[total] = '\0';
    return total;
}

void sim_add_text(struct line *line, const char *text) {
    while (*text != '\0' && line->length < EVENT_LINE_MAX - 1) {
        line->text[line->length++] = *text++;
    }
}

void sim_add_number(struct line *line, unsigned long value, unsigned base) {
    char digits[16];
    int n = 0;
    do {
        digits[n++] = "0123456789abcdef"[value % base];
        value /= base;
    } while (value != 0);
    while (n > 0 && line->length < EVENT_LINE_MAX - 1) {
        line->text[line->length++] = digits[--n];
    }
}

int sim_same_text(const char *a, const char *b) {
    while (*a != '\0' && *a == *b) {
        a++;
        b++;
    }
    return *a == *b;
}
