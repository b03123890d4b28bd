// SPDX-License-Identifier: GPL-2.0-only
// USB printer discovery: the Windows version test and the search for the
// first device interface of a class that opens, which also derives the two
// pipe paths of that interface.
#include <windows.h>
#include <setupapi.h>
#include <string.h>

#include "prnfeed.h"

// Print data and escape commands go out on pipe 00, replies come in on pipe 01.
char out_pipe_path[TEXT_BUFFER_SIZE];
char in_pipe_path[TEXT_BUFFER_SIZE];

namespace {

// Record sizes as the 32-bit platform checks them.
const DWORD OSVERSIONINFO_SIZE = 148;
const DWORD INTERFACE_DATA_SIZE = 28;
// Fixed part of the detail record: the size field and one path character.
const DWORD DETAIL_FIXED_SIZE = 5;
const DWORD DETAIL_PATH_OFFSET = 4;

// Member indexes tried before the search gives up as at the end of the set:
// far beyond any real PC, and it ends a set whose every member fails.
const DWORD MAX_MEMBER_INDEX = 4096;

const char OUT_PIPE_SUFFIX[] = "\\PIPE00";
const char IN_PIPE_SUFFIX[] = "\\PIPE01";
// Longest interface path that still fits a pipe-path buffer with its
// suffix and terminator.
const size_t MAX_INTERFACE_PATH = TEXT_BUFFER_SIZE - 1 - (sizeof(OUT_PIPE_SUFFIX) - 1);

// Length of the path in the detail block, or the block's room for the path
// when no terminator lies inside the block.
size_t path_length(const char *path, size_t room) {
    size_t length = 0;
    while (length < room && path[length] != '\0') {
        length++;
    }
    return length;
}

// Opens one interface of the set. Fills both pipe paths once the interface
// path is known and fits, whatever the outcome of the open.
HANDLE open_interface(HDEVINFO set, SP_DEVICE_INTERFACE_DATA *interface_data) {
    DWORD required = 0;
    // Fails by design with ERROR_INSUFFICIENT_BUFFER and reports the size.
    SetupDiGetDeviceInterfaceDetailA(set, interface_data, NULL, 0, &required, NULL);
    if (required < DETAIL_FIXED_SIZE) {
        return INVALID_HANDLE_VALUE;
    }

    // A fixed block from the system's heap, given back on every way out.
    SP_DEVICE_INTERFACE_DETAIL_DATA_A *detail =
        static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A *>(GlobalAlloc(GMEM_FIXED, required));
    if (detail == NULL) {
        return INVALID_HANDLE_VALUE;
    }
    detail->cbSize = DETAIL_FIXED_SIZE;
    if (!SetupDiGetDeviceInterfaceDetailA(set, interface_data, detail, required, &required, NULL)) {
        GlobalFree(detail);
        return INVALID_HANDLE_VALUE;
    }

    // A path too long for the pipe-path buffers is skipped like an
    // interface that does not open.
    size_t length = path_length(detail->DevicePath, required - DETAIL_PATH_OFFSET);
    if (length > MAX_INTERFACE_PATH || length == required - DETAIL_PATH_OFFSET) {
        GlobalFree(detail);
        return INVALID_HANDLE_VALUE;
    }
    memcpy(out_pipe_path, detail->DevicePath, length);
    memcpy(out_pipe_path + length, OUT_PIPE_SUFFIX, sizeof(OUT_PIPE_SUFFIX));
    memcpy(in_pipe_path, detail->DevicePath, length);
    memcpy(in_pipe_path + length, IN_PIPE_SUFFIX, sizeof(IN_PIPE_SUFFIX));

    HANDLE device = CreateFileA(detail->DevicePath, GENERIC_READ | GENERIC_WRITE, 0, NULL,
                                OPEN_EXISTING, 0, NULL);
    GlobalFree(detail);
    return device;
}

} // namespace

int is_nt5_or_later(void) {
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof(version));
    version.dwOSVersionInfoSize = OSVERSIONINFO_SIZE;
    if (!GetVersionExA(&version)) {
        return 0;
    }
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5;
}

HANDLE open_first_interface(const GUID *interface_class) {
    HDEVINFO set =
        SetupDiGetClassDevsA(interface_class, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return INVALID_HANDLE_VALUE;
    }

    SP_DEVICE_INTERFACE_DATA interface_data;
    memset(&interface_data, 0, sizeof(interface_data));
    interface_data.cbSize = INTERFACE_DATA_SIZE;
    for (DWORD index = 0; index < MAX_MEMBER_INDEX; index++) {
        if (SetupDiEnumDeviceInterfaces(set, NULL, interface_class, index, &interface_data)) {
            HANDLE device = open_interface(set, &interface_data);
            if (device != INVALID_HANDLE_VALUE) {
                SetupDiDestroyDeviceInfoList(set);
                return device;
            }
        } else if (GetLastError() == ERROR_NO_MORE_ITEMS) {
            break;
        }
        // Any other enumeration error skips that member.
    }
    SetupDiDestroyDeviceInfoList(set);
    return INVALID_HANDLE_VALUE;
}
