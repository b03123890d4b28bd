// SPDX-License-Identifier: GPL-2.0-only
// prnfeed: sends one file, byte for byte, to the USB printer, after an
// optional serial-number step. The main routine and the print job.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "prnfeed.h"

namespace {

enum { CHUNK_SIZE = 4096 };
// Fixed and zero-filled.
const UINT TRANSFER_BUFFER_FLAGS = GMEM_DDESHARE | GMEM_ZEROINIT;

// Base name of a module path (no drive, directory or extension), upper-cased
// in place at the start of the buffer.
void take_program_name(char *path) {
    const char *start = path;
    if (start[0] != '\0' && start[1] == ':') {
        start += 2;
    }
    for (const char *p = start; *p != '\0'; p++) {
        if (*p == '\\' || *p == '/') {
            start = p + 1;
        }
    }
    size_t length = strlen(start);
    const char *dot = strrchr(start, '.');
    if (dot != NULL) {
        length = (size_t)(dot - start);
    }
    memmove(path, start, length);
    path[length] = '\0';
    for (char *p = path; *p != '\0'; p++) {
        if (*p >= 'a' && *p <= 'z') {
            *p = (char)(*p - 'a' + 'A');
        }
    }
}

HANDLE open_data_file(const char *file_name) {
    return CreateFileA(file_name, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       NULL);
}

void close_if_open(HANDLE handle) {
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
}

// Copies the file, opened anew so that the pass starts at its first byte,
// to the output pipe chunk by chunk. The open is not tested: a file that
// does not open fails at the first read. Returns 1 when the whole file went
// out, 0 after a read error or a short write.
int print_pass(const char *file_name, HANDLE port, char *buffer, DWORD file_size) {
    HANDLE file = open_data_file(file_name);
    int ok = 1;
    DWORD bytes_sent = 0;
    for (;;) {
        DWORD n = 0;
        BOOL read_ok = ReadFile(file, buffer, CHUNK_SIZE, &n, NULL);
        if (n == 0) {
            if (!read_ok) {
                fprintf(stderr, "\tError reading file..(%s)\n", file_name);
                ok = 0;
            }
            break;
        }
        if (write_port(port, buffer, n) != n) {
            ok = 0;
            break;
        }
        printf("Printing....(%d/%d)\r", (int)bytes_sent, (int)file_size);
        bytes_sent += n;
    }
    close_if_open(file);
    return ok;
}

} // namespace

int main(int argc, char *argv[]) {
    char program_name[TEXT_BUFFER_SIZE];
    char file_name[TEXT_BUFFER_SIZE];
    char printer_name[TEXT_BUFFER_SIZE];
    char line_code[TEXT_BUFFER_SIZE];
    memset(program_name, 0, sizeof(program_name));
    memset(file_name, 0, sizeof(file_name));
    memset(printer_name, 0, sizeof(printer_name));
    memset(line_code, 0, sizeof(line_code));
    int line_code_given = 0;
    int file_name_given = 0;

    // An over-long module path may come back without its terminator.
    GetModuleFileNameA(NULL, program_name, TEXT_BUFFER_SIZE);
    program_name[TEXT_BUFFER_SIZE - 1] = '\0';
    take_program_name(program_name);

    printf("%s Version 1.0(08/20/2002)\n", program_name);
    printf("\n");

    if (argc <= 1) {
        fprintf(stderr, "\tUsage: %s.EXE [filename.ext]\n", program_name);
        fprintf(stderr, "\t    or %s.EXE [filename.ext] </LINECODE>\n", program_name);
        fprintf(stderr, "\t    or %s.EXE </LINECODE>\n", program_name);
        return -1;
    }

    // Only the first two arguments count. A cut argument would name another
    // file or line code, so an over-long one stops the run.
    for (int i = 1; i < argc && i <= 2; i++) {
        const char *argument = argv[i];
        if (strlen(argument) >= TEXT_BUFFER_SIZE) {
            fprintf(stderr, "\tArgument too long...(%s)\n", argument);
            return -1;
        }
        if (argument[0] == '/' || argument[0] == '-') {
            strcpy(line_code, argument);
            line_code_given = 1;
        } else {
            strcpy(file_name, argument);
            file_name_given = 1;
        }
    }

    // A serial number is written into a printer once and for good: a line
    // code that would put unusable characters there stops the run before
    // the printer is even asked for.
    if (line_code_given && !line_code_is_usable(line_code)) {
        fprintf(stderr, "\tLine code not usable for a serial number...(%s)\n", line_code);
        return -1;
    }

    if (!get_printer_name(printer_name)) {
        fprintf(stderr, "\tPrinter is not ready!\n");
        return -1;
    }

    // With a file, the print job follows whatever the serial step did and
    // the exit value is the print job's; without one, it is the serial
    // step's outcome.
    if (line_code_given) {
        serial_result result = program_serial_number(line_code);
        if (!file_name_given) {
            return result;
        }
    }

    HANDLE file = open_data_file(file_name);
    if (file == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "\tFile open error...(%s)", file_name);
        return -1;
    }
    DWORD file_size = GetFileSize(file, NULL);

    HANDLE port = open_port(out_pipe_path);
    if (port == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "Open port %s error.\n", out_pipe_path);
        CloseHandle(file);
        return -1;
    }

    HGLOBAL block = GlobalAlloc(TRANSFER_BUFFER_FLAGS, CHUNK_SIZE);
    char *transfer_buffer = NULL;
    if (block != NULL) {
        transfer_buffer = static_cast<char *>(GlobalLock(block));
    }
    if (transfer_buffer == NULL) {
        fprintf(stderr, "\tMemory allocation error...(%d)\n", CHUNK_SIZE);
        if (block != NULL) {
            GlobalFree(block);
        }
        CloseHandle(file);
        CloseHandle(port);
        return -1;
    }

    make_printable(printer_name);
    printf("Printing to %s\n", printer_name);
    // The size is known; the pass reads the file through a handle of its own.
    CloseHandle(file);
    int ok = print_pass(file_name, port, transfer_buffer, file_size);

    printf("\n");
    CloseHandle(port);
    GlobalUnlock(block);
    GlobalFree(block);

    if (ok) {
        printf("Printing complete...!\n");
    } else {
        fprintf(stderr, "Printer Error...!");
    }
    return 0;
}
