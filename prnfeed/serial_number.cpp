// SPDX-License-Identifier: GPL-2.0-only
// USB serial number programming through the printer's escape commands.
//
// The printer keeps a 16-character USB serial number; a printer fresh from
// the line carries sixteen '0'. The read command makes the printer echo the
// command and append its serial number; the write command stores a new one,
// and the printer echoes the command, one 0x00 byte and the stored number.
// Commands go out on the output pipe, replies come back on the input pipe.
#include <stdio.h>
#include <string.h>

#include "prnfeed.h"

namespace {

enum {
    SERIAL_LENGTH = 16,
    COMMAND_LENGTH = 10,
    READ_REPLY_LENGTH = COMMAND_LENGTH + SERIAL_LENGTH,      // 26
    WRITE_COMMAND_LENGTH = COMMAND_LENGTH + SERIAL_LENGTH,   // 26
    WRITE_REPLY_LENGTH = COMMAND_LENGTH + 1 + SERIAL_LENGTH, // 27
    SERIAL_REPLY_BUFFER_SIZE = 1024,
    REPLY_WAIT_MS = 500
};

const unsigned char serial_read_command[COMMAND_LENGTH] = {0x1B, '%', '-', '4', '3',
                                                           '.',  '2', '1', 'S', 'R'};

const unsigned char serial_write_echo[COMMAND_LENGTH] = {0x1B, '%', '-', '4', '3',
                                                         '.',  '2', '1', 'S', 'W'};

// What a printer whose serial number was never set answers to the read command.
const unsigned char blank_serial_reply[READ_REPLY_LENGTH] = {
    0x1B, '%', '-', '4', '3', '.', '2', '1', 'S', 'R', '0', '0', '0',
    '0',  '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0'};

// Writes value in decimal, right-aligned and padded with '0', into the
// width characters that start at field. Digits beyond the width fall away
// on the left, so a field never spills into its neighbours.
void put_decimal(char *field, int width, unsigned value) {
    for (int i = width - 1; i >= 0; --i) {
        field[i] = static_cast<char>('0' + value % 10U);
        value /= 10U;
    }
}

// Index of the first line-code character that goes into the serial number:
// the last four after the prefix, fewer when the code is shorter. The prefix
// itself is never taken.
size_t first_serial_character(size_t length) {
    if (length <= 1) {
        return length;
    }
    return length > 5 ? length - 4 : 1;
}

// Builds the 16-character serial number (NUL-terminated, so serial holds 17
// bytes) from the line code, prefix included, and one reading of the
// local time.
void build_serial_number(const char *line_code, char *serial) {
    memset(serial, '0', SERIAL_LENGTH);
    serial[SERIAL_LENGTH] = '\0';

    // The taken characters, upper-cased, right-aligned in positions 0-3.
    size_t length = strlen(line_code);
    size_t first = first_serial_character(length);
    char *position = serial + 4 - (length - first);
    for (size_t i = first; i < length; i++) {
        char c = line_code[i];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        *position++ = c;
    }
    serial[4] = '-';

    SYSTEMTIME now;
    GetLocalTime(&now);
    put_decimal(serial + 5, 2, now.wYear % 100U);
    put_decimal(serial + 7, 2, now.wMonth);
    put_decimal(serial + 9, 2, now.wDay);
    put_decimal(serial + 11, 5, now.wHour * 3600U + now.wMinute * 60U + now.wSecond);
}

// Runs the read and, on a blank printer, the write exchange on the two open
// pipes. Short transfers were already reported by the pipe primitives.
serial_result exchange(HANDLE out_pipe, HANDLE in_pipe, const char *serial) {
    unsigned char write_command[WRITE_COMMAND_LENGTH];
    memcpy(write_command, serial_write_echo, COMMAND_LENGTH);
    memcpy(write_command + COMMAND_LENGTH, serial, SERIAL_LENGTH);

    unsigned char write_reply[WRITE_REPLY_LENGTH];
    memcpy(write_reply, serial_write_echo, COMMAND_LENGTH);
    write_reply[COMMAND_LENGTH] = 0x00;
    memcpy(write_reply + COMMAND_LENGTH + 1, serial, SERIAL_LENGTH);

    // Zeroed before each read: a reply is at most 27 bytes, so what follows
    // it is NUL and the serial field prints as a string.
    char reply_buffer[SERIAL_REPLY_BUFFER_SIZE];

    if (write_port(out_pipe, serial_read_command, COMMAND_LENGTH) != COMMAND_LENGTH) {
        return SERIAL_FAILED;
    }
    Sleep(REPLY_WAIT_MS);
    memset(reply_buffer, 0, SERIAL_REPLY_BUFFER_SIZE);
    if (read_port(in_pipe, reply_buffer, READ_REPLY_LENGTH) != READ_REPLY_LENGTH) {
        return SERIAL_FAILED;
    }
    // The serial number shown is the printer's text, up to its first NUL.
    char *shown_serial = reply_buffer + COMMAND_LENGTH;
    if (memcmp(reply_buffer, blank_serial_reply, READ_REPLY_LENGTH) != 0) {
        // A set serial number or an unexpected echo: never written to.
        make_printable(shown_serial);
        printf("USB Serial Number already registered[ %s ]\n", shown_serial);
        return SERIAL_REGISTERED;
    }
    // The blank reply's serial number: sixteen '0'.
    printf("Current USB Serial Number [ %s ]\n", shown_serial);

    if (write_port(out_pipe, write_command, WRITE_COMMAND_LENGTH) != WRITE_COMMAND_LENGTH) {
        return SERIAL_FAILED;
    }
    Sleep(REPLY_WAIT_MS);
    memset(reply_buffer, 0, SERIAL_REPLY_BUFFER_SIZE);
    if (read_port(in_pipe, reply_buffer, WRITE_REPLY_LENGTH) != WRITE_REPLY_LENGTH) {
        return SERIAL_FAILED;
    }
    if (memcmp(reply_buffer, write_reply, WRITE_REPLY_LENGTH) == 0) {
        printf("USB Serial Number write OK [ %s ]\n", serial);
        return SERIAL_WRITTEN;
    }
    printf("USB Serial Number write NG [ %s ]\n", serial);
    return SERIAL_FAILED;
}

} // namespace

int line_code_is_usable(const char *line_code) {
    size_t length = strlen(line_code);
    for (size_t i = first_serial_character(length); i < length; i++) {
        unsigned char c = static_cast<unsigned char>(line_code[i]);
        // Windows builds the device's instance ID from its USB serial
        // number, and refuses control characters, space, bytes above 0x7E
        // and ',' there: such a printer would lose its identity for good.
        if (c <= 0x20 || c > 0x7E || c == ',') {
            return 0;
        }
    }
    return 1;
}

serial_result program_serial_number(const char *line_code) {
    char serial_number[SERIAL_LENGTH + 1];
    build_serial_number(line_code, serial_number);

    HANDLE out_pipe = open_port(out_pipe_path);
    if (out_pipe == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "Open port %s error.\n", out_pipe_path);
        return SERIAL_FAILED;
    }
    HANDLE in_pipe = open_port(in_pipe_path);
    if (in_pipe == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "Open port %s error.\n", in_pipe_path);
        CloseHandle(out_pipe);
        return SERIAL_FAILED;
    }

    serial_result result = exchange(out_pipe, in_pipe, serial_number);

    CloseHandle(out_pipe);
    CloseHandle(in_pipe);
    return result;
}
