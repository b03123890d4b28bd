// SPDX-License-Identifier: GPL-2.0-only
// kernel32 files and handles: CreateFileA, ReadFile, WriteFile, GetFileSize
// and CloseHandle. A path that names a printer's device or pipe goes to the
// printer's driver (printer_device.cpp); any other path is a regular host
// file, read through POSIX and opened exclusively like on Windows.
#include "internal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

using namespace standin;

namespace {

// One synchronous ReadFile or WriteFile call: its log text, the caller's byte
// count and the object behind the handle. finish() logs the outcome with the
// count and sets the last error on failure.
struct Transfer {
    const char *call;
    std::string args;
    LPDWORD done;
    Object *object = nullptr;

    BOOL finish(BOOL ok, DWORD error) const {
        log_call(call, args,
                 (ok ? "TRUE " : "FALSE error=" + std::to_string(error) + " ") +
                     std::to_string(*done));
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
        log_call(t.call, t.args, "FALSE");
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

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD share_mode,
                          LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                          HANDLE template_file) {
    System &s = sys();
    std::string name = path != nullptr ? path : "";
    std::string args = name + ", " + hex(access) + ", " + std::to_string(share_mode) + ", " +
                       (security == nullptr ? "NULL" : "sa") + ", " + std::to_string(disposition) +
                       ", " + hex(flags) + ", " + (template_file == nullptr ? "NULL" : "template");
    auto refuse = [&](DWORD error) {
        log_call("CreateFileA", args, "INVALID_HANDLE_VALUE error=" + std::to_string(error));
        fail(error);
        return INVALID_HANDLE_VALUE;
    };
    // Windows clears the last error when an open succeeds (only OPEN_ALWAYS
    // and CREATE_ALWAYS on an existing file would leave ERROR_ALREADY_EXISTS,
    // and those are refused here).
    auto opened = [&](Object &&object) {
        HANDLE handle = new_handle(std::move(object));
        log_call("CreateFileA", args, handle_text(handle));
        internal().last_error = NO_ERROR;
        return handle;
    };
    if (disposition != OPEN_EXISTING || security != nullptr || template_file != nullptr) {
        return refuse(ERROR_INVALID_PARAMETER);
    }

    Object object{};
    object.share = share_mode;
    object.name = name;
    if (printer_object(name, object)) {
        DWORD error = printer_open_error(object);
        if (error != 0) {
            return refuse(error);
        }
        if (conflicts(object, share_mode)) {
            return refuse(ERROR_SHARING_VIOLATION);
        }
        return opened(std::move(object));
    }

    // A regular host file.
    object.kind = Kind::file;
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
    return opened(std::move(object));
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD done,
                     LPOVERLAPPED overlapped) {
    System &s = sys();
    Transfer t{"ReadFile", std::string(), done};
    if (!begin_transfer(t, handle, count, overlapped)) {
        return FALSE;
    }
    Object *object = t.object;
    if (object->kind == Kind::in_pipe) {
        DWORD error = read_in_pipe(*object, buffer, count, done);
        return t.finish(error == 0, error);
    }
    if (object->kind != Kind::file) {
        return t.finish(FALSE, ERROR_INVALID_FUNCTION);
    }
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

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID data, DWORD count, LPDWORD done,
                      LPOVERLAPPED overlapped) {
    Transfer t{"WriteFile", std::string(), done};
    if (!begin_transfer(t, handle, count, overlapped)) {
        return FALSE;
    }
    if (t.object->kind != Kind::out_pipe) {
        return t.finish(FALSE, t.object->kind == Kind::file ? ERROR_ACCESS_DENIED
                                                            : ERROR_INVALID_FUNCTION);
    }
    DWORD error = write_out_pipe(*t.object, data, count, done);
    return t.finish(error == 0, error);
}

DWORD WINAPI GetFileSize(HANDLE handle, LPDWORD size_high) {
    Object *object = find_handle(handle);
    std::string args = handle_text(handle) + (size_high != nullptr ? ", high" : ", NULL");
    struct stat st;
    if (object == nullptr || object->kind != Kind::file || fstat(object->fd, &st) != 0) {
        log_call("GetFileSize", args, "INVALID_FILE_SIZE");
        fail(object == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_FUNCTION);
        return INVALID_FILE_SIZE;
    }
    std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
    if (size_high != nullptr) {
        *size_high = static_cast<DWORD>(size >> 32);
    }
    log_call("GetFileSize", args, std::to_string(static_cast<DWORD>(size)));
    return static_cast<DWORD>(size);
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    std::string args = handle_text(handle);
    auto &handles = internal().handles;
    auto it = handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles.end() || it->second.kind == Kind::device_set) {
        misuse("CloseHandle(" + args + ") of no open handle");
        log_call("CloseHandle", args, "FALSE");
        return fail(ERROR_INVALID_HANDLE);
    }
    if (it->second.fd >= 0) {
        close(it->second.fd);
    }
    handles.erase(it);
    log_call("CloseHandle", args, "TRUE");
    return TRUE;
}

} // extern "C"
