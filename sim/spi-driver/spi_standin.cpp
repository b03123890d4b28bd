// SPDX-License-Identifier: GPL-2.0-only
// Stand-in for the board's SPI driver, loaded into a test process with
// LD_PRELOAD. It serves the nodes "/dev/hsspi" and "/dev/spi" and hands every
// other path and descriptor to the next C library definition.
//
// Every call on a node is appended, one line each, to the trace file:
//   open <path> flags=0x<flags> -> <fd|-1 errno-name>
//   ioctl 0x<request> 0x<value> -> <0|-1 errno-name>
//   write <len> <hex bytes> -> <result>
//   read <len> -> <result>
//   usleep <microseconds>          (only while a node is open)
//   close -> 0
//
// Behaviour, from the environment of the process:
//   SPI_STANDIN_TRACE        trace file (appended; no trace when unset)
//   SPI_STANDIN_NODES        comma-separated nodes that exist
//                            (default "/dev/hsspi,/dev/spi"; empty: none)
//   SPI_STANDIN_RX           what a read delivers:
//                              none      nothing, read returns 0 (default)
//                              loopback  the bytes of the last write
//                              pattern   bytes i mod 32, as a sending peer
//                              fill:XX   every byte the hex value XX
//                              error     read fails with EIO
//   SPI_STANDIN_RX_LIMIT     deliver at most this many bytes per read
//   SPI_STANDIN_CORRUPT      index of a delivered byte to invert
//   SPI_STANDIN_STATE        file keeping the last written bytes, so that a
//                            receiving run can loop back a sending run
//   SPI_STANDIN_WRITE_LIMIT  take at most this many bytes per write
//   SPI_STANDIN_IOCTL_FAIL   "1": every request fails with EIO
//   SPI_STANDIN_STACK_FILL   hex value XX: before the program's main runs,
//                            the 512 KiB of stack below the loader's frame
//                            are filled with XX, as earlier work of a
//                            process leaves them, so that a local buffer
//                            the program does not clear shows (fresh stack
//                            pages are zero)
//
// The driver accepts the requests 0x701, 0x702 and 0x704 and rejects others
// with ENOTTY. A node is exclusive: a second open while one is open fails
// with EBUSY.
//
// The settings are read from the environment at every call. A program that
// runs the tool several times in one process (a fuzz harness) calls
// spi_standin_reset() between runs to start from a driver just loaded.

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

using open_fn = int (*)(const char *, int, ...);
using ioctl_fn = int (*)(int, unsigned long, ...);
using read_fn = ssize_t (*)(int, void *, size_t);
using read_chk_fn = ssize_t (*)(int, void *, size_t, size_t);
using write_fn = ssize_t (*)(int, const void *, size_t);
using close_fn = int (*)(int);
using usleep_fn = int (*)(useconds_t);

template <typename F> F next_fn(const char *name, const char *fallback = nullptr) {
    void *p = dlsym(RTLD_NEXT, name);
    if (p == nullptr && fallback != nullptr)
        p = dlsym(RTLD_NEXT, fallback);
    if (p == nullptr)
        abort(); // the C library lacks a function the program may call
    return reinterpret_cast<F>(p);
}

// Accessors for the next definition of a C library function, looked up once.
#define NEXT_DEFINITION(accessor, type, ...)                                                       \
    type accessor() {                                                                              \
        static const type f = next_fn<type>(__VA_ARGS__);                                          \
        return f;                                                                                  \
    }

NEXT_DEFINITION(real_open, open_fn, "open")
NEXT_DEFINITION(real_open64, open_fn, "open64", "open")
NEXT_DEFINITION(real_ioctl, ioctl_fn, "ioctl")
NEXT_DEFINITION(real_ioctl_time64, ioctl_fn, "__ioctl_time64", "ioctl")
NEXT_DEFINITION(real_read, read_fn, "read")
NEXT_DEFINITION(real_read_chk, read_chk_fn, "__read_chk")
NEXT_DEFINITION(real_write, write_fn, "write")
NEXT_DEFINITION(real_close, close_fn, "close")
NEXT_DEFINITION(real_usleep, usleep_fn, "usleep")

// The one open node: its descriptor (a real one, on /dev/null) or -1.
int node_fd = -1;
std::vector<unsigned char> last_written;

long env_number(const char *name, long fallback) {
    const char *v = getenv(name);
    if (v == nullptr || *v == '\0')
        return fallback;
    return strtol(v, nullptr, 0);
}

void trace(const std::string &line) {
    const char *path = getenv("SPI_STANDIN_TRACE");
    if (path == nullptr || *path == '\0')
        return;
    int fd = real_open()(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        abort(); // a lost trace would let a test pass on nothing
    std::string out = line + "\n";
    const char *p = out.data();
    size_t left = out.size();
    while (left > 0) {
        ssize_t n = real_write()(fd, p, left);
        if (n <= 0)
            abort();
        p += n;
        left -= static_cast<size_t>(n);
    }
    real_close()(fd);
}

std::string result(long r, int err) {
    if (r >= 0)
        return std::to_string(r);
    const char *name = err == ENOENT   ? "ENOENT"
                       : err == EBUSY  ? "EBUSY"
                       : err == ENOTTY ? "ENOTTY"
                       : err == EIO    ? "EIO"
                       : err == EBADF  ? "EBADF"
                                       : "E?";
    return "-1 " + std::string(name);
}

std::string hex(unsigned long v) {
    char buf[32];
    snprintf(buf, sizeof buf, "0x%lx", v);
    return buf;
}

bool is_node(const char *path) {
    return path != nullptr && (strcmp(path, "/dev/hsspi") == 0 || strcmp(path, "/dev/spi") == 0);
}

bool node_exists(const char *path) {
    const char *list = getenv("SPI_STANDIN_NODES");
    if (list == nullptr)
        return true;
    std::string s(list);
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find(',', start);
        if (end == std::string::npos)
            end = s.size();
        if (s.compare(start, end - start, path) == 0 && end - start == strlen(path))
            return true;
        start = end + 1;
    }
    return false;
}

int node_open(const char *path, int flags) {
    int r;
    int err = 0;
    if (!node_exists(path)) {
        r = -1;
        err = ENOENT;
    } else if (node_fd >= 0) {
        r = -1;
        err = EBUSY;
    } else {
        r = real_open()("/dev/null", O_RDWR | O_CLOEXEC);
        if (r < 0)
            err = errno;
        else
            node_fd = r;
    }
    trace("open " + std::string(path) + " flags=" + hex(static_cast<unsigned>(flags)) + " -> " +
          result(r, err));
    if (r < 0)
        errno = err;
    return r;
}

int node_ioctl(unsigned long request, unsigned long value) {
    int r = 0;
    int err = 0;
    if (request != 0x701 && request != 0x702 && request != 0x704) {
        r = -1;
        err = ENOTTY;
    } else if (env_number("SPI_STANDIN_IOCTL_FAIL", 0) == 1) {
        r = -1;
        err = EIO;
    }
    trace("ioctl " + hex(request) + " " + hex(value) + " -> " + result(r, err));
    if (r < 0)
        errno = err;
    return r;
}

void save_written(const unsigned char *p, size_t n) {
    last_written.assign(p, p + n);
    const char *state = getenv("SPI_STANDIN_STATE");
    if (state == nullptr || *state == '\0')
        return;
    int fd = real_open()(state, O_WRONLY | O_TRUNC | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        abort();
    size_t done = 0;
    while (done < n) {
        ssize_t w = real_write()(fd, p + done, n - done);
        if (w <= 0)
            abort();
        done += static_cast<size_t>(w);
    }
    real_close()(fd);
}

std::vector<unsigned char> load_written() {
    const char *state = getenv("SPI_STANDIN_STATE");
    if (state == nullptr || *state == '\0')
        return last_written;
    std::vector<unsigned char> data;
    int fd = real_open()(state, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return data; // nothing has been sent yet
    unsigned char buf[4096];
    for (;;) {
        ssize_t n = real_read()(fd, buf, sizeof buf);
        if (n < 0)
            abort();
        if (n == 0)
            break;
        data.insert(data.end(), buf, buf + n);
    }
    real_close()(fd);
    return data;
}

ssize_t node_write(const void *buf, size_t len) {
    size_t take = len;
    long limit = env_number("SPI_STANDIN_WRITE_LIMIT", -1);
    if (limit >= 0 && static_cast<size_t>(limit) < take)
        take = static_cast<size_t>(limit);
    const auto *p = static_cast<const unsigned char *>(buf);
    std::string bytes;
    bytes.reserve(2 * len);
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < len; i++) {
        bytes += digits[p[i] >> 4];
        bytes += digits[p[i] & 0xf];
    }
    save_written(p, take);
    trace("write " + std::to_string(len) + " " + bytes + " -> " +
          std::to_string(static_cast<long>(take)));
    return static_cast<ssize_t>(take);
}

ssize_t node_read(void *buf, size_t len) {
    const char *mode = getenv("SPI_STANDIN_RX");
    std::string m = mode == nullptr ? "none" : mode;
    std::vector<unsigned char> data;
    if (m == "error") {
        trace("read " + std::to_string(len) + " -> " + result(-1, EIO));
        errno = EIO;
        return -1;
    } else if (m == "loopback") {
        data = load_written();
    } else if (m == "pattern") {
        for (size_t i = 0; i < len; i++)
            data.push_back(static_cast<unsigned char>(i % 32));
    } else if (m.compare(0, 5, "fill:") == 0) {
        data.assign(len, static_cast<unsigned char>(strtoul(m.c_str() + 5, nullptr, 16)));
    } else if (m != "none") {
        abort(); // a misspelt setting must not look like a silent driver
    }
    size_t n = data.size() < len ? data.size() : len;
    long limit = env_number("SPI_STANDIN_RX_LIMIT", -1);
    if (limit >= 0 && static_cast<size_t>(limit) < n)
        n = static_cast<size_t>(limit);
    long corrupt = env_number("SPI_STANDIN_CORRUPT", -1);
    if (corrupt >= 0 && static_cast<size_t>(corrupt) < n)
        data[static_cast<size_t>(corrupt)] ^= 0xff;
    if (n > 0)
        memcpy(buf, data.data(), n);
    trace("read " + std::to_string(len) + " -> " + std::to_string(n));
    return static_cast<ssize_t>(n);
}

int open_common(open_fn real, const char *path, int flags, va_list ap) {
    if (is_node(path))
        return node_open(path, flags);
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE)
        return real(path, flags, va_arg(ap, int));
    return real(path, flags);
}

// Runs as the library is loaded, before the program's main: the stack it
// leaves behind is the one main's locals will occupy.
__attribute__((noinline)) void fill_stack(unsigned char value) {
    unsigned char area[512 * 1024];
    memset(area, value, sizeof area);
    // Keeps the stores: the area is never read here.
    __asm__ __volatile__("" : : "r"(area) : "memory");
}

__attribute__((constructor)) void fill_stack_when_asked() {
    const char *v = getenv("SPI_STANDIN_STACK_FILL");
    if (v != nullptr && *v != '\0')
        fill_stack(static_cast<unsigned char>(strtoul(v, nullptr, 16)));
}

} // namespace

extern "C" {

int open(const char *path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    int r = open_common(real_open(), path, flags, ap);
    va_end(ap);
    return r;
}

int open64(const char *path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    int r = open_common(real_open64(), path, flags, ap);
    va_end(ap);
    return r;
}

// The requests take their value itself as the third argument.
#define IOCTL_ENTRY(name, real)                                                                    \
    int name(int fd, unsigned long request, ...) {                                                 \
        va_list ap;                                                                                \
        va_start(ap, request);                                                                     \
        unsigned long value = va_arg(ap, unsigned long);                                           \
        va_end(ap);                                                                                \
        if (fd >= 0 && fd == node_fd)                                                              \
            return node_ioctl(request, value);                                                     \
        return real()(fd, request, value);                                                         \
    }

IOCTL_ENTRY(ioctl, real_ioctl)
IOCTL_ENTRY(__ioctl_time64, real_ioctl_time64)

ssize_t read(int fd, void *buf, size_t len) {
    if (fd >= 0 && fd == node_fd)
        return node_read(buf, len);
    return real_read()(fd, buf, len);
}

ssize_t __read_chk(int fd, void *buf, size_t len, size_t buflen) {
    if (fd >= 0 && fd == node_fd) {
        if (len > buflen)
            abort();
        return node_read(buf, len);
    }
    return real_read_chk()(fd, buf, len, buflen);
}

ssize_t write(int fd, const void *buf, size_t len) {
    if (fd >= 0 && fd == node_fd)
        return node_write(buf, len);
    return real_write()(fd, buf, len);
}

int close(int fd) {
    if (fd >= 0 && fd == node_fd) {
        real_close()(fd);
        node_fd = -1;
        trace("close -> 0");
        return 0;
    }
    return real_close()(fd);
}

// Forgets the open node and the last written bytes. Returns 1 when a node
// was still open (the run did not close it), else 0.
int spi_standin_reset(void) {
    int was_open = node_fd >= 0 ? 1 : 0;
    if (node_fd >= 0)
        real_close()(node_fd);
    node_fd = -1;
    last_written.clear();
    return was_open;
}

int usleep(useconds_t usec) {
    if (node_fd >= 0)
        trace("usleep " + std::to_string(static_cast<unsigned long>(usec)));
    return real_usleep()(usec);
}

} // extern "C"
