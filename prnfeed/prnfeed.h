// SPDX-License-Identifier: GPL-2.0-only
// prnfeed: shared declarations of the USB printer host tool.
#ifndef PRNFEED_H
#define PRNFEED_H

#include <windows.h>

// Every path, name and argument buffer of the tool.
enum { TEXT_BUFFER_SIZE = 256 };

// Device interface classes.
// The Windows USB printing class.
extern const GUID GUID_DEVINTERFACE_USBPRINT;
// The alternative printer driver's class, tried first before Windows 2000.
extern const GUID alt_print_interface_guid;

// Device I/O control codes: device type 0x22, METHOD_BUFFERED, FILE_ANY_ACCESS.
#define PRNFEED_CTL_CODE(function) ((0x22UL << 16) | (0UL << 14) | ((function) << 2) | 0UL)
const DWORD IOCTL_USBPRINT_GET_1284_ID = PRNFEED_CTL_CODE(13UL); // 0x00220034
const DWORD alt_setup_request = PRNFEED_CTL_CODE(6UL);           // 0x00220018
const DWORD alt_device_id_request = PRNFEED_CTL_CODE(4UL);       // 0x00220010

// Discovery. The two pipe paths: device interface path + "\PIPE00" (print
// data and escape commands out) and + "\PIPE01" (replies in).
extern char out_pipe_path[TEXT_BUFFER_SIZE];
extern char in_pipe_path[TEXT_BUFFER_SIZE];
int is_nt5_or_later(void);
HANDLE open_first_interface(const GUID *interface_class);

// Device ID and printer name. Both return 1 on success, 0 on failure
// (output untouched).
int read_device_id(char *text);
int get_printer_name(char *name);
// Text the printer sent, made safe to show on the console in place: a
// control byte (below 0x20, or 0x7F) becomes '?', so that the printer can
// neither start a line of its own nor move the cursor. Every other byte
// stays.
void make_printable(char *text);

// Pipe primitives (pipes.cpp): one exclusive synchronous open, one
// synchronous transfer. A short transfer is reported on standard error with
// GetLastError.
HANDLE open_port(const char *path);
DWORD read_port(HANDLE port, void *buffer, DWORD count);
DWORD write_port(HANDLE port, const void *data, DWORD count);

// 1 when every line-code character that goes into the serial number is
// visible ASCII (0x21..0x7E) other than ',', else 0.
int line_code_is_usable(const char *line_code);

// How the serial step ended. The values are the exit values of a run with a
// line code and no file name, so that a station script can tell a printer
// that got its serial number from one that already had one and from one
// that failed.
enum serial_result {
    SERIAL_WRITTEN = 0,    // the printer confirmed the write ("write OK")
    SERIAL_REGISTERED = 1, // it already had a serial number: nothing written
    SERIAL_FAILED = -1     // a pipe did not open, a short transfer, "write NG"
};

// Gives a still-blank printer its USB serial number, built from the line
// code (prefix included) and the local time. Reports its own outcome on the
// console, returns it, and leaves no pipe open.
serial_result program_serial_number(const char *line_code);

#endif
