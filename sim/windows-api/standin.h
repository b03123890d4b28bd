// SPDX-License-Identifier: GPL-2.0-only
// Simulated Windows system behind the stand-in windows.h and setupapi.h.
//
// Model:
// - Windows version: what GetVersionExA reports (or its failure); also
//   decides how GetModuleFileNameA truncates (before version 6 a cut path
//   comes back without terminator).
// - Device interfaces: a list in member order, each of one interface class,
//   with a device path. SetupDiGetClassDevsA takes the present interfaces of
//   the class asked for; SetupDiEnumDeviceInterfaces hands them out by index
//   (ERROR_NO_MORE_ITEMS past the end, or the interface's own enumeration
//   error); SetupDiGetDeviceInterfaceDetailA answers the size query with
//   ERROR_INSUFFICIENT_BUFFER and the size 4 + path + NUL, and fetches the
//   path only into a record whose cbSize is 5 (ERROR_INVALID_USER_BUFFER
//   otherwise) and that is large enough.
// - Each interface stands for one printer and its driver: its device path
//   opens exclusively (share mode 0: any second open fails with
//   ERROR_SHARING_VIOLATION, and neither pipe opens while the device is
//   open); DeviceIoControl answers the device-ID request of its class with a
//   2-byte big-endian length prefix and the device-ID text, and the byte
//   count (which may be set apart from the bytes), as the printer model
//   (printer_model.h) gives them. Alternative-class devices also answer the
//   set-up request.
// - Path + "\PIPE00" is the printer's output pipe: every WriteFile is handed
//   to the printer model, which takes the escape commands; print data is
//   kept, discarded (counted) or streamed to a file; the n-th write can be
//   taken only in part. Path + "\PIPE01" is the input pipe: ReadFile gets
//   the model's next answer packet; a read shorter than the packet fails
//   with ERROR_GEN_FAILURE and loses the packet, and with no packet waiting
//   the read fails as a driver time-out would (ERROR_SEM_TIMEOUT, 0 bytes).
// - Any other path is a regular host file, read through POSIX, opened
//   exclusively like on Windows; the n-th open or n-th read can be made to
//   fail. Every successful CreateFileA leaves 0 as the last error, as
//   Windows does.
// - GlobalAlloc/GlobalLock (fixed blocks, optional zero fill, otherwise
//   filled with 0xCD), each able to fail (every call, or the n-th
//   allocation); local time and module path are
//   set by the test; Sleep is recorded, not slept.
// - Every call is logged in order; misuse (closing an unknown or invalid
//   handle, freeing an unknown block, ...) is logged apart; open handles and
//   live blocks can be listed at any time, e.g. after the program returned.
#ifndef WIN_STANDIN_STANDIN_H
#define WIN_STANDIN_STANDIN_H

#include <setupapi.h>
#include <windows.h>

#include "printer_model.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <iosfwd>
#include <string>
#include <vector>

namespace standin {

// Interface classes the simulated drivers know (their device I/O control
// codes are the printer model's, PRINTER_IOCTL_*).
extern const GUID usbprint_class; // {28D78FAD-5A12-11D1-AE5B-0000F803A8C2}
extern const GUID alt_class;      // {76F4B720-F62F-11D1-9C52-000083612AA1}

using Bytes = std::vector<unsigned char>;

struct Printer {
    Printer() {
        printer_model_init(&model);
    }
    enum class Keep { bytes, count, stream } keep = Keep::bytes;
    Bytes received;              // Keep::bytes
    std::FILE *stream = nullptr; // Keep::stream (opened by the description loader)
    std::uint64_t received_count = 0;
    std::uint64_t writes = 0;
    DWORD largest_write = 0;
    std::vector<DWORD> write_sizes; // only with Keep::bytes

    int short_write_at = 0; // 1-based number of the write taken only in part
    DWORD short_write_accepts = 0;
    DWORD short_write_error = ERROR_GEN_FAILURE;

    printer_model model; // device ID, serial number, answers waiting on the input pipe
    // Every escape command offered on the output pipe, in order, as sent.
    std::vector<Bytes> commands;

    int out_open_fail_from = 0; // the n-th and every later open of a pipe fails (0: never)
    int in_open_fail_from = 0;
    DWORD pipe_open_error = ERROR_DEVICE_NOT_CONNECTED;
    int out_opens = 0;
    int in_opens = 0;
};

struct Interface {
    GUID interface_class = usbprint_class;
    std::string path;

    DWORD enum_error = 0;           // nonzero: enumerating this member fails with it
    bool size_query_fails = false;  // the size query reports nothing
    long reported_size = -1;        // size the size query reports instead of the true one
    bool fetch_fails = false;       // the path fetch fails
    bool unterminated_path = false; // size and fetched block hold the path without its NUL
    DWORD open_error = 0;           // nonzero: opening the device path fails with it
    bool id_request_fails = false;
    bool setup_request_fails = false;

    Printer printer;
};

enum class Version { win95, win98, winme, nt4, win2000, xp, vista };

struct Ioctl {
    DWORD code;
    Bytes input;
    DWORD output_size;
    bool ok;
    DWORD returned;
};

struct Call {
    std::string function;
    std::string args;
    std::string result;
    std::string text() const {
        return function + "(" + args + ") -> " + result;
    }
};

struct System {
    Version version = Version::xp;
    bool version_fails = false;
    std::string module_path = "C:\\KIT\\PRNFEED.EXE";
    SYSTEMTIME local_time = {2003, 9, 1, 8, 12, 34, 56, 789};
    std::deque<Interface> interfaces; // references stay valid as printers are added
    bool class_devs_fails = false;
    DWORD enum_error_every = 0; // nonzero: enumerating any member fails with it

    int file_open_fail_at = 0; // 1-based open of a regular file that fails
    DWORD file_open_error = ERROR_ACCESS_DENIED;
    int file_read_fail_at = 0; // 1-based ReadFile on a regular file that fails
    DWORD file_read_error = ERROR_GEN_FAILURE;
    int file_opens = 0;
    int file_reads = 0;

    bool global_alloc_fails = false;
    int global_alloc_fail_at = 0; // 1-based GlobalAlloc that fails (discovery's detail
                                  // blocks come first, one per fetched path)
    int global_allocs = 0;
    bool global_lock_fails = false;

    std::string summary_path; // where the command-line build writes its summary
    std::string state_path;   // where the command-line build keeps the printers' state

    std::size_t max_logged_calls = static_cast<std::size_t>(-1);
    std::vector<Call> calls;
    std::uint64_t calls_not_logged = 0;
    std::vector<Ioctl> ioctls;
    std::vector<DWORD> sleeps;
    std::vector<std::string> misuse;
};

// The one simulated system. reset() returns it to the state without
// printers (XP, default module path and time), closing whatever is open.
System &sys();
void reset();

Interface &add_printer(const GUID &interface_class, const std::string &path,
                       const std::string &device_id);

std::vector<std::string> open_handles(); // one description per open handle or set
std::vector<std::string> live_blocks();  // one description per unfreed global block
std::vector<std::string> call_names();   // function names of the logged calls, in order

// Loads a printer description (key=value lines; every key is shown in
// sample-printer.txt) into the system. Returns an empty string, or the
// first error found. The state file is the description's name + ".state"
// unless the description names one.
std::string load_description(const std::string &file_name);
// The same from a stream; `file_name` only names it in errors and gives the
// default state file.
std::string load_description(std::istream &in, const std::string &file_name);
// What the printers keep across runs (their serial numbers): one state line
// of the printer model per printer, in order. load_state leaves the printers
// as described when the file does not exist yet; store_state writes the file
// only when a printer stored something in this run. Both return an empty
// string or the error.
std::string load_state(const std::string &file_name);
std::string store_state(const std::string &file_name);
// Writes the summary of the run (received bytes, open handles, ...).
void write_summary(std::FILE *out);

} // namespace standin

#endif
