// SPDX-License-Identifier: GPL-2.0-only
// quenzor's main, run in this process over the SPI driver stand-in (linked
// in, not preloaded), with argument vectors and driver behaviours from the
// fuzzer. The exit() of the open failure lands in __wrap_exit and jumps back;
// standard output goes to a memory file that is read after every run.
//
// Input:
//   byte 0    bits 0-1  nodes that exist: 0 both, 1 /dev/hsspi, 2 /dev/spi, 3 none
//             bit 2     every ioctl request fails
//             bits 3-5  receive: 1 none, 2 loopback, 3 pattern, 4 fill, 5 error,
//                       else the driver's default (none)
//             bit 6     first a send run (xfer 0) with the same arguments, whose
//                       bytes a loopback receive then delivers
//             bit 7     argc 0: not even the program name
//   byte 1    the fill byte
//   bytes 2-7 receive limit, write limit, index of the corrupted byte
//             (16 bits each, little-endian; 0xffff: not set)
//   the rest  up to five arguments, separated by NUL bytes
//
// Oracle: exit status 0; after a receive exactly one verdict line, the
// success line only when the driver delivered all Count bytes and they
// match the pattern (Count 0 included); no verdict line otherwise; the node
// closed again.
#include <fcntl.h>
#include <setjmp.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <string>
#include <vector>

int quenzor_main(int argc, char **argv); // quenzor's main, renamed
extern "C" int spi_standin_reset(void);
extern "C" [[noreturn]] void __real_exit(int status);

namespace {

jmp_buf exit_jump;
bool in_quenzor = false;
int exit_status = -1;
int out_fd = -1; // memory file behind standard output

const char kOk[] = "Coool!! Data received successful";
const char kFailed[] = "XXXXX Ooops!! Data received failed XXXXX";
constexpr unsigned kUnset = 0xffff;

struct Driver {
    unsigned nodes; // bit 0: /dev/hsspi exists, bit 1: /dev/spi
    bool ioctl_fail;
    int rx; // 0 default, 1 none, 2 loopback, 3 pattern, 4 fill, 5 error
    unsigned char fill;
    unsigned rx_limit, write_limit, corrupt;
};

void set_number(const char *name, unsigned v) {
    if (v == kUnset)
        unsetenv(name);
    else
        setenv(name, std::to_string(v).c_str(), 1);
}

void configure(const Driver &d) {
    static const char *const lists[] = {"", "/dev/hsspi", "/dev/spi", "/dev/hsspi,/dev/spi"};
    setenv("SPI_STANDIN_NODES", lists[d.nodes], 1);
    if (d.ioctl_fail)
        setenv("SPI_STANDIN_IOCTL_FAIL", "1", 1);
    else
        unsetenv("SPI_STANDIN_IOCTL_FAIL");
    char fill[8];
    snprintf(fill, sizeof fill, "fill:%02x", d.fill);
    const char *rx[] = {nullptr, "none", "loopback", "pattern", fill, "error"};
    if (rx[d.rx] == nullptr)
        unsetenv("SPI_STANDIN_RX");
    else
        setenv("SPI_STANDIN_RX", rx[d.rx], 1);
    set_number("SPI_STANDIN_RX_LIMIT", d.rx_limit);
    set_number("SPI_STANDIN_WRITE_LIMIT", d.write_limit);
    set_number("SPI_STANDIN_CORRUPT", d.corrupt);
}

// Drops the digits that would take atoi's number outside int: its result
// there is undefined, and differs between the host and the 32-bit board.
void keep_in_int_range(std::string &s) {
    size_t p = 0;
    while (p < s.size() && strchr(" \t\n\v\f\r", s[p]) != nullptr)
        p++;
    bool negative = false;
    if (p < s.size() && (s[p] == '+' || s[p] == '-'))
        negative = s[p++] == '-';
    const long long limit = negative ? 2147483648LL : 2147483647LL;
    long long v = 0;
    size_t q = p;
    for (; q < s.size() && s[q] >= '0' && s[q] <= '9'; q++) {
        long long next = v * 10 + (s[q] - '0');
        if (next > limit)
            break;
        v = next;
    }
    size_t end = q;
    while (end < s.size() && s[end] >= '0' && s[end] <= '9')
        end++;
    s.erase(q, end - q);
}

struct Run {
    int status;
    std::string out;
};

Run run_quenzor(bool no_name, const std::vector<std::string> &args) {
    std::vector<std::string> storage;
    if (!no_name) {
        storage.push_back("quenzor");
        storage.insert(storage.end(), args.begin(), args.end());
    }
    std::vector<char *> argv;
    for (std::string &a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    if (ftruncate(out_fd, 0) != 0 || lseek(out_fd, 0, SEEK_SET) != 0)
        abort();
    Run r;
    in_quenzor = true;
    if (setjmp(exit_jump) == 0)
        r.status = quenzor_main(static_cast<int>(storage.size()), argv.data());
    else
        r.status = exit_status;
    in_quenzor = false;
    fflush(stdout);
    off_t size = lseek(out_fd, 0, SEEK_CUR);
    r.out.resize(static_cast<size_t>(size));
    if (size > 0 && pread(out_fd, r.out.data(), r.out.size(), 0) != size)
        abort();
    return r;
}

size_t occurrences(const std::string &s, const char *what) {
    size_t n = 0;
    for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + 1))
        n++;
    return n;
}

[[noreturn]] void fail(const char *why, const std::vector<std::string> &args, const Run &r) {
    fprintf(stderr, "quenzor-run: %s (status %d)\nargs:", why, r.status);
    for (const std::string &a : args)
        fprintf(stderr, " [%s]", a.c_str());
    fprintf(stderr, "\noutput (%zu bytes, first 2000):\n%.2000s\n", r.out.size(), r.out.c_str());
    abort();
}

// What the driver does with one run of quenzor, from its settings alone:
// whether a receive happens and whether it delivers the whole pattern. A
// send updates the bytes on the wire for a later loopback.
struct Expected {
    bool receives = false;
    bool whole_pattern = false;
};

Expected model(const Driver &d, bool no_name, const std::vector<std::string> &args,
               std::vector<unsigned char> &wire) {
    Expected e;
    if (no_name || args.size() != 4)
        return e;
    unsigned count = static_cast<unsigned>(atoi(args[0].c_str()));
    unsigned xfer = static_cast<unsigned>(atoi(args[2].c_str()));
    unsigned dev = static_cast<unsigned>(atoi(args[3].c_str()));
    if (count > 65536)
        return e;
    if ((d.nodes & (dev == 0 ? 1u : 2u)) == 0)
        return e; // no such node: the run ends at the open
    if (xfer == 0) {
        size_t take = count;
        if (d.write_limit != kUnset && d.write_limit < take)
            take = d.write_limit;
        wire.clear();
        for (size_t i = 0; i < take; i++)
            wire.push_back(static_cast<unsigned char>(i % 32));
    }
    if (xfer != 1)
        return e;
    e.receives = true;
    std::vector<unsigned char> data;
    switch (d.rx) {
    case 2:
        data = wire;
        break;
    case 3:
        for (size_t i = 0; i < count; i++)
            data.push_back(static_cast<unsigned char>(i % 32));
        break;
    case 4:
        data.assign(count, d.fill);
        break;
    case 5:
        return e; // the read fails
    default:
        break; // nothing arrives
    }
    size_t n = data.size() < count ? data.size() : count;
    if (d.rx_limit != kUnset && d.rx_limit < n)
        n = d.rx_limit;
    if (d.corrupt != kUnset && d.corrupt < n)
        data[d.corrupt] ^= 0xff;
    if (n != count)
        return e;
    e.whole_pattern = true;
    for (size_t i = 0; i < n; i++)
        if (data[i] != i % 32)
            e.whole_pattern = false;
    return e;
}

void check(const Expected &e, const std::vector<std::string> &args, const Run &r) {
    if (r.status != 0)
        fail("exit status not 0", args, r);
    size_t ok = occurrences(r.out, kOk);
    size_t failed = occurrences(r.out, kFailed);
    if (!e.receives && ok + failed != 0)
        fail("a verdict without a receive", args, r);
    if (e.receives && ok + failed != 1)
        fail("not exactly one verdict after a receive", args, r);
    if (e.receives && (ok == 1) != e.whole_pattern)
        fail(ok == 1 ? "success reported, but the driver did not deliver the whole pattern"
                     : "failure reported, but the driver delivered the whole pattern",
             args, r);
    if (spi_standin_reset() != 0)
        fail("the node was left open", args, r);
}

} // namespace

extern "C" [[noreturn]] void __wrap_exit(int status) {
    if (in_quenzor) {
        exit_status = status;
        longjmp(exit_jump, 1);
    }
    __real_exit(status);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // quenzor pauses 5 us per run: keep the kernel from stretching that.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    out_fd = memfd_create("quenzor-out", MFD_CLOEXEC);
    if (out_fd < 0 || dup2(out_fd, STDOUT_FILENO) < 0)
        abort();
    unsetenv("SPI_STANDIN_TRACE");
    unsetenv("SPI_STANDIN_STATE");
    spi_standin_reset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 8)
        return -1;
    auto u16 = [&](size_t at) { return static_cast<unsigned>(data[at] | data[at + 1] << 8); };
    Driver d;
    static const unsigned nodes[] = {3, 1, 2, 0};
    d.nodes = nodes[data[0] & 3];
    d.ioctl_fail = (data[0] & 4) != 0;
    d.rx = (data[0] >> 3) & 7;
    if (d.rx > 5)
        d.rx = 0;
    d.fill = data[1];
    d.rx_limit = u16(2);
    d.write_limit = u16(4);
    d.corrupt = u16(6);
    bool send_first = (data[0] & 0x40) != 0;
    bool no_name = (data[0] & 0x80) != 0;

    std::vector<std::string> args;
    if (!no_name && size > 8) {
        std::string rest(reinterpret_cast<const char *>(data) + 8, size - 8);
        size_t start = 0;
        while (args.size() < 5) {
            size_t end = rest.find('\0', start);
            args.push_back(rest.substr(start, end == std::string::npos ? end : end - start));
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
    }
    for (std::string &a : args)
        keep_in_int_range(a);

    configure(d);
    std::vector<unsigned char> wire;
    if (send_first) {
        std::vector<std::string> send = args;
        if (send.size() > 2)
            send[2] = "0";
        Expected e = model(d, no_name, send, wire);
        Run r = run_quenzor(no_name, send);
        // Leave the node's state to the receive run; only the output counts.
        if (r.status != 0 || occurrences(r.out, kOk) + occurrences(r.out, kFailed) != 0 ||
            e.receives)
            fail("the send run", send, r);
    }
    Expected e = model(d, no_name, args, wire);
    Run r = run_quenzor(no_name, args);
    check(e, args, r);
    return 0;
}
