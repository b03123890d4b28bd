// SPDX-License-Identifier: GPL-2.0-only
// Inside the simulated Windows system: the state every faked API shares
// (handle table, global blocks, last error, call log) and the printer side
// that the kernel32 file functions hand devices and pipes to. Not for tests:
// they use standin.h.
#ifndef WIN_STANDIN_INTERNAL_H
#define WIN_STANDIN_INTERNAL_H

#include "standin.h"

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace standin {

enum class Kind { device, out_pipe, in_pipe, file, device_set };

// What a handle stands for.
struct Object {
    Kind kind;
    std::size_t iface = 0; // device and pipes
    int fd = -1;           // file
    dev_t file_dev = 0;
    ino_t file_ino = 0;
    DWORD share = 0;
    std::string name;
    GUID set_class{};                 // device set
    std::vector<std::size_t> members; // device set: interface indices
};

// A global memory block.
struct Block {
    std::unique_ptr<unsigned char[]> data;
    SIZE_T size;
    int locks = 0;
};

struct Internal {
    System system;
    DWORD last_error = 0;
    std::uintptr_t next_handle = 0x1000;
    std::map<std::uintptr_t, Object> handles;
    std::map<void *, Block> blocks;
};

Internal &internal();

bool same_guid(const GUID &a, const GUID &b);
std::string hex(std::uint64_t value);
std::string handle_text(HANDLE handle); // "h1000", "INVALID_HANDLE_VALUE"

// Call log: every call with its arguments and result, in order; misuse of
// the API apart.
void log_call(const std::string &function, const std::string &args, const std::string &result);
void misuse(const std::string &what);
// Sets the last error and returns FALSE.
BOOL fail(DWORD error);
// Logs a call that returns a Windows BOOL and sets the last error when it
// fails.
BOOL log_bool(const char *call, const std::string &args, BOOL ok, DWORD error);

// Handle table. Every object is opened exclusively here, and a printer's
// pipes do not open while its device is open (nor the device while a pipe
// is open): conflicts() tells whether `wanted` may not open beside the
// handles already open.
HANDLE new_handle(Object object);
Object *find_handle(HANDLE handle);
bool conflicts(const Object &wanted, DWORD share);

// The printer side (printer_device.cpp). printer_object() makes `object` the
// device or a pipe of a simulated printer when `path` names one; opening
// it is refused with printer_open_error() unless that is 0. The transfers
// return 0 or the error the call fails with, *done the bytes moved.
bool printer_object(const std::string &path, Object &object);
DWORD printer_open_error(const Object &object);
DWORD read_in_pipe(const Object &pipe, void *buffer, DWORD count, DWORD *done);
DWORD write_out_pipe(const Object &pipe, const void *data, DWORD count, DWORD *done);

} // namespace standin

#endif
