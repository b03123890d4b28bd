// The simulated Windows system: implementation of the stand-in API.
#include "standin.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <strings.h>

namespace standin {

const GUID usbprint_class = {
    0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};
const GUID alt_class = {
    0x76F4B720, 0xF62F, 0x11D1, {0x9C, 0x52, 0x00, 0x00, 0x83, 0x61, 0x2A, 0xA1}};

namespace {

enum class Kind { device, out_pipe, in_pipe, file, device_set };

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

Internal &internal() {
    static Internal state;
    return state;
}

bool same_guid(const GUID &a, const GUID &b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

std::string hex(std::uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string handle_text(HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE) {
        return "INVALID_HANDLE_VALUE";
    }
    return "h" + hex(reinterpret_cast<std::uintptr_t>(handle));
}

std::string guid_text(const GUID *g) {
    if (g == nullptr) {
        return "NULL";
    }
    if (same_guid(*g, usbprint_class)) {
        return "usbprint";
    }
    if (same_guid(*g, alt_class)) {
        return "alt";
    }
    return "other-class";
}

void log(const std::string &function, const std::string &args, const std::string &result) {
    System &s = internal().system;
    if (s.calls.size() < s.max_logged_calls) {
        s.calls.push_back({function, args, result});
    } else {
        s.calls_not_logged++;
    }
}

void misuse(const std::string &what) {
    internal().system.misuse.push_back(what);
}

BOOL fail(DWORD error) {
    internal().last_error = error;
    return FALSE;
}

HANDLE new_handle(Object object) {
    Internal &in = internal();
    std::uintptr_t value = in.next_handle;
    in.next_handle += 4;
    in.handles.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

Object *find_handle(HANDLE handle) {
    auto &handles = internal().handles;
    auto it = handles.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == handles.end() ? nullptr : &it->second;
}

bool ends_with_nocase(const std::string &text, const std::string &tail, std::string &head) {
    if (text.size() < tail.size() ||
        strcasecmp(text.c_str() + text.size() - tail.size(), tail.c_str()) != 0) {
        return false;
    }
    head = text.substr(0, text.size() - tail.size());
    return true;
}

long interface_by_path(const std::string &path) {
    const auto &list = internal().system.interfaces;
    for (std::size_t i = 0; i < list.size(); i++) {
        if (!list[i].path.empty() && strcasecmp(list[i].path.c_str(), path.c_str()) == 0) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

// Whether an open object of the given kind conflicts with an open handle.
// Every object is opened exclusively here, and a printer's pipes do not open
// while its device is open (nor the device while a pipe is open).
bool conflicts(const Object &wanted, DWORD share) {
    for (const auto &entry : internal().handles) {
        const Object &held = entry.second;
        bool same;
        if (wanted.kind == Kind::file) {
            same = held.kind == Kind::file && held.file_dev == wanted.file_dev &&
                   held.file_ino == wanted.file_ino;
        } else if (wanted.kind == Kind::device_set || held.kind == Kind::file ||
                   held.kind == Kind::device_set || held.iface != wanted.iface) {
            same = false;
        } else {
            same = held.kind == wanted.kind || held.kind == Kind::device ||
                   wanted.kind == Kind::device;
        }
        if (same && (share == 0 || held.share == 0)) {
            return true;
        }
    }
    return false;
}

const struct {
    DWORD platform, major, minor, build;
} version_table[] = {
    {VER_PLATFORM_WIN32_WINDOWS, 4, 0, 950},   // 95
    {VER_PLATFORM_WIN32_WINDOWS, 4, 10, 1998}, // 98
    {VER_PLATFORM_WIN32_WINDOWS, 4, 90, 3000}, // Me
    {VER_PLATFORM_WIN32_NT, 4, 0, 1381},       // NT 4.0
    {VER_PLATFORM_WIN32_NT, 5, 0, 2195},       // 2000
    {VER_PLATFORM_WIN32_NT, 5, 1, 2600},       // XP
    {VER_PLATFORM_WIN32_NT, 6, 0, 6000},       // Vista
};

void printer_receives(Printer &printer, const unsigned char *data, DWORD count) {
    printer.received_count += count;
    switch (printer.keep) {
    case Printer::Keep::bytes:
        printer.received.insert(printer.received.end(), data, data + count);
        break;
    case Printer::Keep::count:
        break;
    case Printer::Keep::stream:
        if (printer.stream != nullptr) {
            std::fwrite(data, 1, count, printer.stream);
        }
        break;
    }
}

BOOL answer_device_id(Interface &iface, LPVOID output, DWORD output_size, LPDWORD returned) {
    if (iface.id_request_fails) {
        return fail(ERROR_GEN_FAILURE);
    }
    std::size_t reported = 0;
    printer_model_device_id(&iface.printer.model, static_cast<unsigned char *>(output), output_size,
                            &reported);
    *returned = static_cast<DWORD>(reported);
    return TRUE;
}

} // namespace

System &sys() {
    return internal().system;
}

void reset() {
    Internal &in = internal();
    for (auto &entry : in.handles) {
        if (entry.second.fd >= 0) {
            close(entry.second.fd);
        }
    }
    in.handles.clear();
    in.blocks.clear();
    in.system = System();
    in.last_error = 0;
    in.next_handle = 0x1000;
}

Interface &add_printer(const GUID &interface_class, const std::string &path,
                       const std::string &device_id) {
    Interface iface;
    iface.interface_class = interface_class;
    iface.path = path;
    printer_model_set_device_id(&iface.printer.model, device_id.data(), device_id.size());
    sys().interfaces.push_back(std::move(iface));
    return sys().interfaces.back();
}

Interface *find_interface(const std::string &path) {
    long i = interface_by_path(path);
    return i < 0 ? nullptr : &sys().interfaces[static_cast<std::size_t>(i)];
}

std::vector<std::string> open_handles() {
    std::vector<std::string> list;
    for (const auto &entry : internal().handles) {
        list.push_back(handle_text(reinterpret_cast<HANDLE>(entry.first)) + " " +
                       entry.second.name);
    }
    return list;
}

std::vector<std::string> live_blocks() {
    std::vector<std::string> list;
    for (const auto &entry : internal().blocks) {
        list.push_back("block of " + std::to_string(entry.second.size) + " bytes, " +
                       std::to_string(entry.second.locks) + " locks");
    }
    return list;
}

std::vector<std::string> call_names() {
    std::vector<std::string> names;
    for (const Call &call : sys().calls) {
        names.push_back(call.function);
    }
    return names;
}

std::string call_log() {
    std::string text;
    for (const Call &call : sys().calls) {
        text += call.text() + "\n";
    }
    return text;
}

void write_summary(std::FILE *out) {
    std::uint64_t received = 0, writes = 0;
    DWORD largest = 0;
    for (const Interface &iface : sys().interfaces) {
        received += iface.printer.received_count;
        writes += iface.printer.writes;
        largest = std::max(largest, iface.printer.largest_write);
    }
    std::fprintf(out, "received_bytes=%llu\n", static_cast<unsigned long long>(received));
    std::fprintf(out, "writes=%llu\n", static_cast<unsigned long long>(writes));
    std::fprintf(out, "largest_write=%u\n", static_cast<unsigned>(largest));
    std::fprintf(out, "open_handles=%zu\n", open_handles().size());
    for (const std::string &h : open_handles()) {
        std::fprintf(out, "open_handle=%s\n", h.c_str());
    }
    std::fprintf(out, "live_blocks=%zu\n", live_blocks().size());
    std::fprintf(out, "misuse=%zu\n", sys().misuse.size());
    for (const std::string &m : sys().misuse) {
        std::fprintf(out, "misuse_entry=%s\n", m.c_str());
    }
    std::fprintf(out, "sleeps=%zu\n", sys().sleeps.size());
    std::fprintf(out, "calls=%llu\n",
                 static_cast<unsigned long long>(sys().calls.size() + sys().calls_not_logged));
}

} // namespace standin

using namespace standin;

namespace {

// Logs a call that returns a Windows BOOL and sets the last error when it
// fails.
BOOL log_bool(const char *call, const std::string &args, BOOL ok, DWORD error) {
    log(call, args, ok ? "TRUE" : "FALSE error=" + std::to_string(error));
    return ok ? TRUE : fail(error);
}

// One synchronous ReadFile or WriteFile call: its log text, the caller's byte
// count and the object behind the handle. finish() logs the outcome with the
// count and sets the last error on failure.
struct Transfer {
    const char *call;
    std::string args;
    LPDWORD done;
    Object *object = nullptr;

    BOOL finish(BOOL ok, DWORD error) const {
        log(call, args,
            (ok ? "TRUE " : "FALSE error=" + std::to_string(error) + " ") + std::to_string(*done));
        if (!ok) {
            fail(error);
        }
        return ok;
    }
};

// The checks every transfer passes before it touches an object: a byte
// count to report into, an open handle that is not a device set, and no
// overlapped record (the objects are opened for synchronous I/O). Returns
// FALSE after failing the call, TRUE with t.object set otherwise.
BOOL begin_transfer(Transfer &t, HANDLE handle, DWORD count, LPOVERLAPPED overlapped) {
    t.args = handle_text(handle) + ", " + std::to_string(count) +
             (overlapped != nullptr ? ", overlapped" : "");
    if (t.done == nullptr) {
        misuse(std::string(t.call) + " without a byte count");
        log(t.call, t.args, "FALSE");
        return fail(ERROR_INVALID_PARAMETER);
    }
    *t.done = 0;
    t.object = find_handle(handle);
    if (t.object == nullptr || t.object->kind == Kind::device_set) {
        return t.finish(FALSE, ERROR_INVALID_HANDLE);
    }
    if (overlapped != nullptr) {
        return t.finish(FALSE, ERROR_INVALID_PARAMETER);
    }
    return TRUE;
}

} // namespace

extern "C" {

DWORD WINAPI GetLastError(void) {
    return internal().last_error;
}

void WINAPI SetLastError(DWORD error) {
    internal().last_error = error;
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    System &s = sys();
    DWORD size = info->dwOSVersionInfoSize;
    std::string args = "size=" + std::to_string(size);
    // The plain record is 148 bytes, the extended one 156.
    if (size != 148 && size != 156) {
        log("GetVersionExA", args, "FALSE");
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    if (s.version_fails) {
        log("GetVersionExA", args, "FALSE");
        return fail(ERROR_GEN_FAILURE);
    }
    const auto &v = version_table[static_cast<int>(s.version)];
    info->dwPlatformId = v.platform;
    info->dwMajorVersion = v.major;
    info->dwMinorVersion = v.minor;
    info->dwBuildNumber = v.build;
    std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
    log("GetVersionExA", args,
        "TRUE " + std::to_string(v.platform) + " " + std::to_string(v.major) + "." +
            std::to_string(v.minor));
    return TRUE;
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR path, DWORD size) {
    const std::string &name = sys().module_path;
    std::string args =
        (module == nullptr ? "NULL" : "module") + std::string(", ") + std::to_string(size);
    if (name.size() < size) {
        std::memcpy(path, name.c_str(), name.size() + 1);
        log("GetModuleFileNameA", args, std::to_string(name.size()));
        return static_cast<DWORD>(name.size());
    }
    if (size == 0) {
        log("GetModuleFileNameA", args, "0");
        fail(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // Cut path: before version 6 it comes back without its terminator.
    if (sys().version >= Version::vista) {
        std::memcpy(path, name.data(), size - 1);
        path[size - 1] = '\0';
    } else {
        std::memcpy(path, name.data(), size);
    }
    fail(ERROR_INSUFFICIENT_BUFFER);
    log("GetModuleFileNameA", args, std::to_string(size));
    return size;
}

void WINAPI GetLocalTime(LPSYSTEMTIME time) {
    *time = sys().local_time;
    log("GetLocalTime", "", "");
}

void WINAPI Sleep(DWORD milliseconds) {
    sys().sleeps.push_back(milliseconds);
    log("Sleep", std::to_string(milliseconds), "");
}

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD share_mode,
                          LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                          HANDLE template_file) {
    System &s = sys();
    std::string name = path != nullptr ? path : "";
    std::string args = name + ", " + hex(access) + ", " + std::to_string(share_mode) + ", " +
                       (security == nullptr ? "NULL" : "sa") + ", " + std::to_string(disposition) +
                       ", " + hex(flags) + ", " + (template_file == nullptr ? "NULL" : "template");
    auto refuse = [&](DWORD error) {
        log("CreateFileA", args, "INVALID_HANDLE_VALUE error=" + std::to_string(error));
        fail(error);
        return INVALID_HANDLE_VALUE;
    };
    if (disposition != OPEN_EXISTING || security != nullptr || template_file != nullptr) {
        return refuse(ERROR_INVALID_PARAMETER);
    }

    Object object{};
    object.share = share_mode;
    object.name = name;
    std::string head;
    long iface = interface_by_path(name);
    if (iface >= 0) {
        object.kind = Kind::device;
    } else if (ends_with_nocase(name, "\\PIPE00", head) && (iface = interface_by_path(head)) >= 0) {
        object.kind = Kind::out_pipe;
    } else if (ends_with_nocase(name, "\\PIPE01", head) && (iface = interface_by_path(head)) >= 0) {
        object.kind = Kind::in_pipe;
    } else {
        object.kind = Kind::file;
    }

    if (object.kind != Kind::file) {
        object.iface = static_cast<std::size_t>(iface);
        Interface &device = s.interfaces[object.iface];
        Printer &printer = device.printer;
        if (object.kind == Kind::device && device.open_error != 0) {
            return refuse(device.open_error);
        }
        if (object.kind == Kind::out_pipe) {
            printer.out_opens++;
            if (printer.out_open_fail_from > 0 && printer.out_opens >= printer.out_open_fail_from) {
                return refuse(printer.pipe_open_error);
            }
        }
        if (object.kind == Kind::in_pipe) {
            printer.in_opens++;
            if (printer.in_open_fail_from > 0 && printer.in_opens >= printer.in_open_fail_from) {
                return refuse(printer.pipe_open_error);
            }
        }
        if (conflicts(object, share_mode)) {
            return refuse(ERROR_SHARING_VIOLATION);
        }
        HANDLE handle = new_handle(std::move(object));
        log("CreateFileA", args, handle_text(handle));
        return handle;
    }

    // A regular host file.
    s.file_opens++;
    if (s.file_open_fail_at == s.file_opens) {
        return refuse(s.file_open_error);
    }
    if (name.empty()) {
        return refuse(ERROR_PATH_NOT_FOUND);
    }
    int mode = (access & GENERIC_WRITE) ? O_RDWR : O_RDONLY;
    // Never blocks: a FIFO or device node is not a file Windows would open.
    int fd = open(name.c_str(), mode | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return refuse(errno == ENOENT    ? ERROR_FILE_NOT_FOUND
                      : errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                         : ERROR_ACCESS_DENIED);
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        return refuse(ERROR_ACCESS_DENIED);
    }
    object.fd = fd;
    object.file_dev = st.st_dev;
    object.file_ino = st.st_ino;
    if (conflicts(object, share_mode)) {
        close(fd);
        return refuse(ERROR_SHARING_VIOLATION);
    }
    HANDLE handle = new_handle(std::move(object));
    log("CreateFileA", args, handle_text(handle));
    return handle;
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD done,
                     LPOVERLAPPED overlapped) {
    System &s = sys();
    Transfer t{"ReadFile", std::string(), done};
    if (!begin_transfer(t, handle, count, overlapped)) {
        return FALSE;
    }
    Object *object = t.object;
    if (object->kind == Kind::file) {
        s.file_reads++;
        if (s.file_read_fail_at == s.file_reads) {
            return t.finish(FALSE, s.file_read_error);
        }
        unsigned char *out = static_cast<unsigned char *>(buffer);
        DWORD total = 0;
        while (total < count) {
            ssize_t got = read(object->fd, out + total, count - total);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                *done = total;
                return t.finish(FALSE, ERROR_GEN_FAILURE);
            }
            if (got == 0) {
                break;
            }
            total += static_cast<DWORD>(got);
        }
        *done = total;
        return t.finish(TRUE, 0);
    }
    if (object->kind != Kind::in_pipe) {
        return t.finish(FALSE, ERROR_INVALID_FUNCTION);
    }
    std::size_t got = 0;
    int result = printer_model_read(&s.interfaces[object->iface].printer.model,
                                    static_cast<unsigned char *>(buffer), count, &got);
    *done = static_cast<DWORD>(got);
    switch (result) {
    case PRINTER_READ_OK:
        return t.finish(TRUE, 0);
    case PRINTER_READ_OVERFLOW:
        return t.finish(FALSE, ERROR_GEN_FAILURE);
    default:
        return t.finish(FALSE, ERROR_SEM_TIMEOUT);
    }
}

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID data, DWORD count, LPDWORD done,
                      LPOVERLAPPED overlapped) {
    Transfer t{"WriteFile", std::string(), done};
    if (!begin_transfer(t, handle, count, overlapped)) {
        return FALSE;
    }
    Object *object = t.object;
    if (object->kind != Kind::out_pipe) {
        return t.finish(FALSE,
                        object->kind == Kind::file ? ERROR_ACCESS_DENIED : ERROR_INVALID_FUNCTION);
    }
    Printer &printer = sys().interfaces[object->iface].printer;
    const unsigned char *bytes = static_cast<const unsigned char *>(data);
    printer.writes++;
    printer.largest_write = std::max(printer.largest_write, count);
    DWORD taken = count;
    bool short_write = printer.short_write_at > 0 &&
                       printer.writes == static_cast<std::uint64_t>(printer.short_write_at);
    if (short_write) {
        taken = std::min(count, printer.short_write_accepts);
    }
    if (printer_model_write(&printer.model, bytes, count, taken) == PRINTER_ESCAPE) {
        printer.commands.emplace_back(bytes, bytes + count);
    } else {
        if (printer.keep == Printer::Keep::bytes) {
            printer.write_sizes.push_back(taken);
        }
        printer_receives(printer, bytes, taken);
    }
    *done = taken;
    if (printer.on_write) {
        printer.on_write(printer, bytes, taken);
    }
    if (short_write && printer.short_write_error != 0) {
        return t.finish(FALSE, printer.short_write_error);
    }
    return t.finish(TRUE, 0);
}

DWORD WINAPI GetFileSize(HANDLE handle, LPDWORD size_high) {
    Object *object = find_handle(handle);
    std::string args = handle_text(handle) + (size_high != nullptr ? ", high" : ", NULL");
    struct stat st;
    if (object == nullptr || object->kind != Kind::file || fstat(object->fd, &st) != 0) {
        log("GetFileSize", args, "INVALID_FILE_SIZE");
        fail(object == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_FUNCTION);
        return INVALID_FILE_SIZE;
    }
    std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
    if (size_high != nullptr) {
        *size_high = static_cast<DWORD>(size >> 32);
    }
    log("GetFileSize", args, std::to_string(static_cast<DWORD>(size)));
    return static_cast<DWORD>(size);
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    std::string args = handle_text(handle);
    auto &handles = internal().handles;
    auto it = handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles.end() || it->second.kind == Kind::device_set) {
        misuse("CloseHandle(" + args + ") of no open handle");
        log("CloseHandle", args, "FALSE");
        return fail(ERROR_INVALID_HANDLE);
    }
    if (it->second.fd >= 0) {
        close(it->second.fd);
    }
    handles.erase(it);
    log("CloseHandle", args, "TRUE");
    return TRUE;
}

BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD input_size,
                            LPVOID output, DWORD output_size, LPDWORD returned,
                            LPOVERLAPPED overlapped) {
    std::string args =
        handle_text(device) + ", " + hex(code) + ", in=" + std::to_string(input_size) +
        ", out=" + std::to_string(output_size) + (overlapped != nullptr ? ", overlapped" : "");
    Ioctl record{code, Bytes(), output_size, false, 0};
    if (input != nullptr) {
        const unsigned char *in = static_cast<const unsigned char *>(input);
        record.input.assign(in, in + input_size);
    }
    BOOL ok = FALSE;
    DWORD error = 0;
    DWORD count = 0;
    Object *object = find_handle(device);
    if (returned == nullptr) {
        misuse("DeviceIoControl without a byte count");
        error = ERROR_INVALID_PARAMETER;
    } else if (object == nullptr || object->kind == Kind::device_set) {
        error = ERROR_INVALID_HANDLE;
    } else if (overlapped != nullptr) {
        error = ERROR_INVALID_PARAMETER;
    } else if (object->kind != Kind::device) {
        error = ERROR_INVALID_FUNCTION;
    } else {
        Interface &iface = sys().interfaces[object->iface];
        bool alt = same_guid(iface.interface_class, alt_class);
        if ((!alt && code == IOCTL_GET_1284_ID) || (alt && code == IOCTL_ALT_DEVICE_ID)) {
            ok = answer_device_id(iface, output, output_size, &count);
            error = ok ? 0 : ERROR_GEN_FAILURE;
        } else if (alt && code == IOCTL_ALT_SETUP) {
            if (iface.setup_request_fails) {
                error = ERROR_GEN_FAILURE;
            } else {
                const unsigned char answer[8] = {'O', 'K', 0, 0, 0, 0, 0, 0};
                count = std::min<DWORD>(8, output_size);
                if (output != nullptr) {
                    std::memcpy(output, answer, count);
                }
                ok = TRUE;
            }
        } else {
            error = ERROR_INVALID_FUNCTION;
        }
    }
    if (returned != nullptr) {
        *returned = count;
    }
    record.ok = ok != FALSE;
    record.returned = count;
    sys().ioctls.push_back(record);
    log("DeviceIoControl", args,
        ok ? "TRUE " + std::to_string(count) : "FALSE error=" + std::to_string(error));
    if (!ok) {
        fail(error);
    }
    return ok;
}

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
    std::string args = hex(flags) + ", " + std::to_string(bytes);
    if (sys().global_alloc_fails || (flags & GMEM_MOVEABLE) != 0) {
        log("GlobalAlloc", args, "NULL");
        fail(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Block block;
    block.size = bytes;
    block.data.reset(new unsigned char[bytes == 0 ? 1 : bytes]);
    std::memset(block.data.get(), (flags & GMEM_ZEROINIT) ? 0 : 0xCD, bytes == 0 ? 1 : bytes);
    void *key = block.data.get();
    internal().blocks.emplace(key, std::move(block));
    log("GlobalAlloc", args, "block");
    return key;
}

LPVOID WINAPI GlobalLock(HGLOBAL handle) {
    auto &blocks = internal().blocks;
    auto it = blocks.find(handle);
    if (it == blocks.end() || sys().global_lock_fails) {
        if (it == blocks.end()) {
            misuse("GlobalLock of no block");
        }
        log("GlobalLock", "block", "NULL");
        fail(it == blocks.end() ? ERROR_INVALID_HANDLE : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    it->second.locks++;
    log("GlobalLock", "block", "pointer");
    return it->second.data.get();
}

BOOL WINAPI GlobalUnlock(HGLOBAL handle) {
    auto &blocks = internal().blocks;
    auto it = blocks.find(handle);
    if (it == blocks.end() || it->second.locks == 0) {
        misuse(it == blocks.end() ? "GlobalUnlock of no block" : "GlobalUnlock of unlocked block");
        log("GlobalUnlock", "block", "FALSE");
        return fail(it == blocks.end() ? ERROR_INVALID_HANDLE : 158 /* ERROR_NOT_LOCKED */);
    }
    it->second.locks--;
    log("GlobalUnlock", "block", it->second.locks ? "TRUE" : "FALSE");
    if (it->second.locks == 0) {
        SetLastError(NO_ERROR);
        return FALSE;
    }
    return TRUE;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL handle) {
    auto &blocks = internal().blocks;
    auto it = blocks.find(handle);
    if (it == blocks.end()) {
        misuse("GlobalFree of no block");
        log("GlobalFree", "block", "block");
        fail(ERROR_INVALID_HANDLE);
        return handle;
    }
    blocks.erase(it);
    log("GlobalFree", "block", "NULL");
    return nullptr;
}

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID *class_guid, PCSTR enumerator, HWND parent,
                                     DWORD flags) {
    std::string args = guid_text(class_guid) + ", " + (enumerator ? enumerator : "NULL") + ", " +
                       (parent ? "hwnd" : "NULL") + ", " + hex(flags);
    // Only the present-interfaces query of one class is modelled.
    if (sys().class_devs_fails || class_guid == nullptr ||
        flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE) || enumerator != nullptr) {
        log("SetupDiGetClassDevsA", args, "INVALID_HANDLE_VALUE");
        fail(sys().class_devs_fails ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    Object set{};
    set.kind = Kind::device_set;
    set.name = "device set " + guid_text(class_guid);
    set.set_class = *class_guid;
    const auto &list = sys().interfaces;
    for (std::size_t i = 0; i < list.size(); i++) {
        if (same_guid(list[i].interface_class, *class_guid)) {
            set.members.push_back(i);
        }
    }
    HANDLE handle = new_handle(std::move(set));
    log("SetupDiGetClassDevsA", args, handle_text(handle));
    return handle;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA device,
                                        const GUID *class_guid, DWORD index,
                                        PSP_DEVICE_INTERFACE_DATA interface_data) {
    std::string args = handle_text(set) + ", " + (device ? "devinfo" : "NULL") + ", " +
                       guid_text(class_guid) + ", " + std::to_string(index);
    auto result = [&](BOOL ok, DWORD error) {
        return log_bool("SetupDiEnumDeviceInterfaces", args, ok, error);
    };
    Object *object = find_handle(set);
    if (object == nullptr || object->kind != Kind::device_set) {
        return result(FALSE, ERROR_INVALID_HANDLE);
    }
    if (interface_data == nullptr || interface_data->cbSize != 28) {
        return result(FALSE, ERROR_INVALID_USER_BUFFER);
    }
    if (sys().enum_error_every != 0) {
        return result(FALSE, sys().enum_error_every);
    }
    if (class_guid == nullptr || !same_guid(*class_guid, object->set_class) ||
        index >= object->members.size()) {
        return result(FALSE, ERROR_NO_MORE_ITEMS);
    }
    const Interface &iface = sys().interfaces[object->members[index]];
    if (iface.enum_error != 0) {
        return result(FALSE, iface.enum_error);
    }
    interface_data->InterfaceClassGuid = iface.interface_class;
    interface_data->Flags = SPINT_ACTIVE;
    interface_data->Reserved = static_cast<DWORD>(object->members[index] + 1);
    return result(TRUE, 0);
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interface_data,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail,
                                             DWORD detail_size, PDWORD required_size,
                                             PSP_DEVINFO_DATA device) {
    std::string args = handle_text(set) + ", " + (detail ? "detail" : "NULL") + ", " +
                       std::to_string(detail_size) + ", " + (device ? "devinfo" : "NULL");
    auto result = [&](BOOL ok, DWORD error) {
        return log_bool("SetupDiGetDeviceInterfaceDetailA", args, ok, error);
    };
    Object *object = find_handle(set);
    if (object == nullptr || object->kind != Kind::device_set) {
        return result(FALSE, ERROR_INVALID_HANDLE);
    }
    if (interface_data == nullptr || interface_data->cbSize != 28 ||
        interface_data->Reserved == 0 || interface_data->Reserved > sys().interfaces.size()) {
        return result(FALSE, ERROR_INVALID_PARAMETER);
    }
    const Interface &iface = sys().interfaces[interface_data->Reserved - 1];
    std::size_t path_bytes = iface.path.size() + (iface.unterminated_path ? 0 : 1);
    DWORD needed = static_cast<DWORD>(4 + path_bytes);
    if (detail == nullptr) {
        if (detail_size != 0) {
            return result(FALSE, ERROR_INVALID_USER_BUFFER);
        }
        if (iface.size_query_fails) {
            return result(FALSE, ERROR_GEN_FAILURE);
        }
        if (required_size != nullptr) {
            *required_size =
                iface.reported_size >= 0 ? static_cast<DWORD>(iface.reported_size) : needed;
        }
        args += " required=" + std::to_string(required_size ? *required_size : 0);
        return result(FALSE, ERROR_INSUFFICIENT_BUFFER);
    }
    // The 32-bit platform checks the fixed part's size, not the block's.
    if (detail->cbSize != 5) {
        return result(FALSE, ERROR_INVALID_USER_BUFFER);
    }
    if (detail_size < needed) {
        if (required_size != nullptr) {
            *required_size = needed;
        }
        return result(FALSE, ERROR_INSUFFICIENT_BUFFER);
    }
    if (iface.fetch_fails) {
        return result(FALSE, ERROR_GEN_FAILURE);
    }
    std::memcpy(detail->DevicePath, iface.path.c_str(), path_bytes);
    if (required_size != nullptr) {
        *required_size = needed;
    }
    return result(TRUE, 0);
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set) {
    std::string args = handle_text(set);
    auto &handles = internal().handles;
    auto it = handles.find(reinterpret_cast<std::uintptr_t>(set));
    if (it == handles.end() || it->second.kind != Kind::device_set) {
        misuse("SetupDiDestroyDeviceInfoList(" + args + ") of no set");
        log("SetupDiDestroyDeviceInfoList", args, "FALSE");
        return fail(ERROR_INVALID_HANDLE);
    }
    handles.erase(it);
    log("SetupDiDestroyDeviceInfoList", args, "TRUE");
    return TRUE;
}

} // extern "C"
