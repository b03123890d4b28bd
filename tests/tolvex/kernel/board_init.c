// SPDX-License-Identifier: GPL-2.0-only
/*
 * /init of the initramfs that the board-kernel boots run in a 2.6.21 ARM
 * kernel under qemu-system-arm (versatilepb, ARM926EJ-S). No C library of
 * this machine runs on a 2.6.21 kernel, so this program is static and
 * freestanding: its own _start and raw EABI system calls (number in r7,
 * svc #0).
 *
 * The kernel hands unknown name=value boot options to init as its
 * environment; kitmode= selects the run:
 *   kitmode=load    load /tolvex.ko, check the device through its nodes,
 *                   unload while open (refused) and after close, then the
 *                   node must be dead
 *   kitmode=refuse  the kernel must refuse /tolvex.ko (ENOEXEC) and keep
 *                   nothing of it
 *   kithz=<n>       the tick rate of the tree the module was built against
 *                   (default 100, the test kernel's own)
 *
 * The test kernel backs the board's register windows with four RAM pages
 * outside its own memory (third_party/board-kernel/patches-versatile):
 * system control at 0xF0000000, power management at 0xF0200000, the port
 * block at 0xF6400000 and the converter at physical 0x58000000. This program
 * maps the same pages through /dev/mem, sets every word before a command and
 * compares every word after it against the image the command must leave, so
 * a stray store anywhere in the four pages fails the check.
 *
 * Every check prints "kit: ok ..." or "kit: FAIL ...". Every kernel log line
 * the module must print, in order, is announced as "kit: klog <line>"; the
 * kernel log (with levels) follows between "kit: log begin" and
 * "kit: log end", then "kit: result PASS" or "kit: result FAIL (n)". A
 * restart ends the emulator (-no-reboot). The checks of refused requests
 * through the device node are in device_checks.h.
 *
 * Besides the commands: the monotonic clock (every boot), two processes
 * running command 1 at once, and the user's guide's example program
 * (/portf, built from the guide's text; its output must be the guide's
 * line, /portf.want). The programs this one starts run with their output
 * into a pipe that it reads.
 */
#include <stdarg.h>

enum {
    NR_EXIT = 1,
    NR_FORK = 2,
    NR_READ = 3,
    NR_WRITE = 4,
    NR_OPEN = 5,
    NR_CLOSE = 6,
    NR_EXECVE = 11,
    NR_MKNOD = 14,
    NR_MOUNT = 21,
    NR_PIPE = 42,
    NR_IOCTL = 54,
    NR_DUP2 = 63,
    NR_GETTIMEOFDAY = 78,
    NR_REBOOT = 88,
    NR_MUNMAP = 91,
    NR_SYSLOG = 103,
    NR_WAIT4 = 114,
    NR_MPROTECT = 125,
    NR_INIT_MODULE = 128,
    NR_DELETE_MODULE = 129,
    NR_MMAP2 = 192,
    NR_CLOCK_GETTIME = 263,
};

enum {
    ENOENT = 2,
    ENXIO = 6,
    ENOEXEC = 8,
    EAGAIN = 11,
    EFAULT = 14,
    EINVAL = 22,
    ENOTTY = 25,
    ETIMEDOUT = 110,
};

#define O_RDONLY 0
#define O_RDWR 2
#define O_NONBLOCK 04000
#define O_SYNC 010000 /* on ARM; makes the /dev/mem mapping uncached */
#define PROT_READ 1
#define PROT_WRITE 2
#define MAP_SHARED 1
#define MAP_PRIVATE 2
#define MAP_ANONYMOUS 0x20
#define CLOCK_MONOTONIC 1
#define S_IFCHR 0020000
#define TOLVEX_MAJOR 252
/* Old-style device number as mknod takes it: minor below 256. */
#define DEV(major, minor) (((major) << 8) | (minor))
#define SYSLOG_READ_ALL 3
#define KERNEL_ADDRESS 0xC0008000ul
#define UNMAPPED_ADDRESS 0x10000000ul /* far above this program, far below its stack */
#define LOG_LOAD "<4>[device_init : 339] device_init() start !!!"
#define LOG_UNLOAD "<4>[device_exit : 352] device_exit() !!!"

static long sys6(long nr, long a, long b, long c, long d, long e, long f) {
    register long r0 __asm__("r0") = a;
    register long r1 __asm__("r1") = b;
    register long r2 __asm__("r2") = c;
    register long r3 __asm__("r3") = d;
    register long r4 __asm__("r4") = e;
    register long r5 __asm__("r5") = f;
    register long r7 __asm__("r7") = nr;

    __asm__ volatile("svc #0"
                     : "+r"(r0)
                     : "r"(r1), "r"(r2), "r"(r3), "r"(r4), "r"(r5), "r"(r7)
                     : "memory");
    return r0;
}

static long sys(long nr, long a, long b, long c, long d, long e) {
    return sys6(nr, a, b, c, d, e, 0);
}

/* libgcc's division helpers call raise() on a division by zero. */
int raise(int sig);
int raise(int sig) {
    return sig;
}

/* The compiler may emit calls to these even in freestanding code. */
void *memset(void *d, int c, unsigned long n);
void *memset(void *d, int c, unsigned long n) {
    volatile unsigned char *p = d;

    while (n--)
        *p++ = (unsigned char)c;
    return d;
}

void *memcpy(void *d, const void *s, unsigned long n);
void *memcpy(void *d, const void *s, unsigned long n) {
    volatile unsigned char *p = d;
    const unsigned char *q = s;

    while (n--)
        *p++ = *q++;
    return d;
}

static unsigned long len(const char *s) {
    unsigned long n = 0;

    while (s[n])
        n++;
    return n;
}

static int starts(const char *s, const char *prefix) {
    while (*prefix)
        if (*s++ != *prefix++)
            return 0;
    return 1;
}

/* A decimal number; 0 when there is none. */
static unsigned long number(const char *s) {
    unsigned long n = 0;

    for (; *s >= '0' && *s <= '9'; s++)
        n = n * 10 + (unsigned long)(*s - '0');
    return n;
}

/* Formats %s, %d, %u and %x into line (NUL-terminated); returns the length. */
static unsigned long format(char *line, unsigned long size, const char *fmt, va_list ap) {
    unsigned long n = 0;

    for (; *fmt && n < size - 16; fmt++) {
        char digits[12];
        const char *s;
        unsigned long v;
        unsigned base = 10;
        int k = 0;

        if (*fmt != '%') {
            line[n++] = *fmt;
            continue;
        }
        switch (*++fmt) {
        case 's':
            for (s = va_arg(ap, const char *); *s && n < size - 16; s++)
                line[n++] = *s;
            continue;
        case 'd': {
            long d = va_arg(ap, long);

            if (d < 0)
                line[n++] = '-';
            v = d < 0 ? 0ul - (unsigned long)d : (unsigned long)d;
            break;
        }
        case 'x':
            base = 16;
            /* fall through */
        default:
            v = va_arg(ap, unsigned long);
            break;
        }
        do
            digits[k++] = "0123456789abcdef"[v % base];
        while ((v /= base) != 0);
        while (k)
            line[n++] = digits[--k];
    }
    line[n] = 0;
    return n;
}

/* One console line (one write). */
static void say(const char *fmt, ...) {
    char line[256];
    unsigned long n;
    va_list ap;

    va_start(ap, fmt);
    n = format(line, sizeof(line) - 1, fmt, ap);
    va_end(ap);
    line[n++] = '\n';
    sys(NR_WRITE, 1, (long)line, (long)n, 0, 0);
}

static int failures;

static void check(int ok, const char *what, long got) {
    say("kit: %s %s (got %d)", ok ? "ok" : "FAIL", what, got);
    if (!ok)
        failures++;
}

/* check() with a formatted description. */
static void checkf(int ok, long got, const char *fmt, ...) {
    char what[160];
    va_list ap;

    va_start(ap, fmt);
    format(what, sizeof(what), fmt, ap);
    va_end(ap);
    check(ok, what, got);
}

/* Whole contents of a small file, NUL-terminated; length or -errno. */
static long slurp(const char *path, char *buf, unsigned long size) {
    long fd = sys(NR_OPEN, (long)path, O_RDONLY, 0, 0, 0);
    unsigned long n = 0;
    long r = 0;

    if (fd < 0)
        return fd;
    while (n < size - 1 && (r = sys(NR_READ, fd, (long)(buf + n), (long)(size - 1 - n), 0, 0)) > 0)
        n += (unsigned long)r;
    sys(NR_CLOSE, fd, 0, 0, 0, 0);
    buf[n] = 0;
    return r < 0 ? r : (long)n;
}

/* Whether a line of the file starts with the prefix. */
static int has_line(const char *path, const char *prefix) {
    static char buf[8192];
    const char *p = buf;

    if (slurp(path, buf, sizeof(buf)) < 0)
        return -1;
    for (; *p; p++)
        if ((p == buf || p[-1] == '\n') && starts(p, prefix))
            return 1;
    return 0;
}

static void check_registered(int want) {
    int dev = has_line("/proc/devices", "252 tolvex\n");
    int major = has_line("/proc/devices", "252 ");
    int mod = has_line("/proc/modules", "tolvex ");

    check(dev == want, want ? "'252 tolvex' in /proc/devices" : "'252 tolvex' not in /proc/devices",
          dev);
    check(major == want, want ? "major 252 taken" : "major 252 free", major);
    check(mod == want, want ? "tolvex in /proc/modules" : "tolvex not in /proc/modules", mod);
}

static void announce(const char *line) {
    say("kit: klog %s", line);
}

/*
 * Runs a program with its standard output and error into a pipe: what it
 * printed into out (NUL-terminated), its wait status into *status. Returns
 * 0 or -errno.
 */
static long run_program(const char *path, char *out, unsigned long size, int *status) {
    const char *argv[] = {path, 0};
    const char *envp[] = {0};
    int p[2];
    unsigned long n = 0;
    long pid;
    long r = sys(NR_PIPE, (long)p, 0, 0, 0, 0);

    if (r < 0)
        return r;
    pid = sys(NR_FORK, 0, 0, 0, 0, 0);
    if (pid == 0) {
        sys(NR_DUP2, p[1], 1, 0, 0, 0);
        sys(NR_DUP2, p[1], 2, 0, 0, 0);
        sys(NR_CLOSE, p[0], 0, 0, 0, 0);
        sys(NR_CLOSE, p[1], 0, 0, 0, 0);
        sys(NR_EXECVE, (long)path, (long)argv, (long)envp, 0, 0);
        sys(NR_EXIT, 127, 0, 0, 0, 0);
    }
    sys(NR_CLOSE, p[1], 0, 0, 0, 0);
    while (pid > 0 && n < size - 1 &&
           (r = sys(NR_READ, p[0], (long)(out + n), (long)(size - 1 - n), 0, 0)) > 0)
        n += (unsigned long)r;
    out[n] = 0;
    sys(NR_CLOSE, p[0], 0, 0, 0, 0);
    if (pid < 0)
        return pid;
    r = sys(NR_WAIT4, pid, (long)status, 0, 0, 0);
    return r < 0 ? r : 0;
}

/*
 * A kernel compiled as position-independent code jumps to a wrong address
 * in sys_clock_gettime: the tree's flags must say -fno-pie.
 */
static void check_monotonic_clock(void) {
    long t[2][2] = {{-1, -1}, {-1, -1}};
    long r0 = sys(NR_CLOCK_GETTIME, CLOCK_MONOTONIC, (long)t[0], 0, 0, 0);
    long r1 = sys(NR_CLOCK_GETTIME, CLOCK_MONOTONIC, (long)t[1], 0, 0, 0);
    int valid = t[0][1] >= 0 && t[0][1] < 1000000000 && t[1][1] >= 0 && t[1][1] < 1000000000;

    check(r0 == 0 && r1 == 0 && valid &&
              (t[1][0] > t[0][0] || (t[1][0] == t[0][0] && t[1][1] >= t[0][1])),
          "clock_gettime(CLOCK_MONOTONIC) twice: a time, not going back", r0 ? r0 : r1);
}

static long dev_open(const char *node, int read_only) {
    return sys(NR_OPEN, (long)node, read_only ? O_RDONLY : O_RDWR, 0, 0, 0);
}

static long dev_close(long fd) {
    return sys(NR_CLOSE, fd, 0, 0, 0, 0);
}

static long dev_read(long fd, void *buf, unsigned long n) {
    return sys(NR_READ, fd, (long)buf, (long)n, 0, 0);
}

static long dev_write(long fd, const void *buf, unsigned long n) {
    return sys(NR_WRITE, fd, (long)buf, (long)n, 0, 0);
}

static long dev_ioctl(long fd, unsigned cmd, unsigned long arg) {
    say("kit: klog <4>tolvex_ioctl(%d)", (long)(int)cmd);
    return sys(NR_IOCTL, fd, (long)cmd, (long)arg, 0, 0);
}

#define DEVICE_IO_BUFFER 4096
#include "device_checks.h"

/*
 * The register pages, as the test kernel places them (patches-versatile):
 * four consecutive RAM pages from REG_PAGES_PHYS, in the order of enum page.
 */
#define REG_PAGES_PHYS 0x03F00000ul
#define PAGE_SIZE 4096ul
#define PAGE_WORDS (PAGE_SIZE / 4)
#define MEM_MAJOR 1
#define MEM_MINOR 1

enum page { SYS, PWR, GPIO, ADC, PAGES };

static const char *const page_names[PAGES] = {"0xf0000000", "0xf0200000", "0xf6400000",
                                              "adc 0x58000000"};
static volatile unsigned *regs;
/* What every word of the four pages must hold after the current command. */
static unsigned want[PAGES][PAGE_WORDS];

static long map_register_pages(void) {
    long r = sys(NR_MKNOD, (long)"/dev/mem", S_IFCHR | 0600, DEV(MEM_MAJOR, MEM_MINOR), 0, 0);
    long fd;
    long addr;

    check(r == 0, "mknod /dev/mem c 1 1", r);
    fd = sys(NR_OPEN, (long)"/dev/mem", O_RDWR | O_SYNC, 0, 0, 0);
    check(fd >= 0, "open /dev/mem O_RDWR|O_SYNC", fd);
    if (fd < 0)
        return fd;
    /* mmap2 takes the offset in 4 KiB pages. */
    addr = sys6(NR_MMAP2, 0, (long)(PAGES * PAGE_SIZE), PROT_READ | PROT_WRITE, MAP_SHARED, fd,
                (long)(REG_PAGES_PHYS / PAGE_SIZE));
    check((unsigned long)addr < -4096ul, "mmap2 of the four register pages", addr);
    sys(NR_CLOSE, fd, 0, 0, 0, 0);
    if ((unsigned long)addr >= -4096ul)
        return addr;
    regs = (volatile unsigned *)addr;
    return 0;
}

static volatile unsigned *reg(enum page p, unsigned off) {
    return regs + p * PAGE_WORDS + off / 4;
}

/* Every word of the four pages set to a value of its own, derived from seed. */
static void fill_pages(unsigned seed) {
    unsigned p;
    unsigned long i;

    for (p = 0; p < PAGES; p++)
        for (i = 0; i < PAGE_WORDS; i++) {
            unsigned v = (seed + p * PAGE_WORDS + (unsigned)i) * 0x9E3779B1u;

            want[p][i] = v ^ (v >> 15);
            *reg(p, (unsigned)i * 4) = want[p][i];
        }
}

/* One word the test sets before a command, and what it must hold after. */
struct word {
    enum page page;
    unsigned off, before, after;
};

/* The pages filled from seed, then the chosen words set. */
static void set_words(unsigned seed, const struct word *w, unsigned long n) {
    fill_pages(seed);
    for (; n--; w++) {
        *reg(w->page, w->off) = w->before;
        want[w->page][w->off / 4] = w->before;
    }
}

/* Number of words that differ from the image; the first few are printed. */
static long pages_differ(void) {
    unsigned p;
    unsigned long i;
    long n = 0;

    for (p = 0; p < PAGES; p++)
        for (i = 0; i < PAGE_WORDS; i++) {
            unsigned got = *reg(p, (unsigned)i * 4);

            if (got == want[p][i])
                continue;
            if (n++ < 8)
                say("kit: word %s+0x%x is 0x%x, want 0x%x", page_names[p], i * 4,
                    (unsigned long)got, (unsigned long)want[p][i]);
        }
    return n;
}

/* The chosen words must hold their after values, every other word its own. */
static long words_differ(const struct word *w, unsigned long n) {
    for (; n--; w++)
        want[w->page][w->off / 4] = w->after;
    return pages_differ();
}

static void check_words(const struct word *w, unsigned long n, const char *what) {
    long differ = words_differ(w, n);

    check(differ == 0, what, differ);
}

/* Microseconds since the epoch, modulo the width of a long: differences only. */
static unsigned long now_us(void) {
    long tv[2] = {0, 0};

    sys(NR_GETTIMEOFDAY, (long)tv, 0, 0, 0, 0);
    return (unsigned long)tv[0] * 1000000ul + (unsigned long)tv[1];
}

/* Tick rate of the tree the module was built against (kithz=). */
static unsigned long module_hz = 100;

/*
 * A command must take its busy-waits of 20 ms, no fewer and no more. The
 * waits are delay loops of a length the module computes from its own tree's
 * tick rate and the loops per tick this kernel (100 ticks a second) measured
 * at boot: a module built for the board's configuration (200) waits twice
 * as long here, and the measured rate falls a little short of the true one
 * (0.1%). The emulator counts instructions for the guest's time (-icount),
 * so the measurement holds however loaded the machine running it is; 2%
 * below and 1.5% above are allowed, so one wait more or less of the
 * converter's 50 still fails.
 */
static long timed_ioctl(long fd, unsigned cmd, unsigned long arg, unsigned waits) {
    unsigned long t0 = now_us();
    long r = dev_ioctl(fd, cmd, arg);
    unsigned long us = now_us() - t0;
    unsigned long nominal = waits * 20000ul * module_hz / 100;

    checkf(us >= nominal / 1000 * 980 && us <= nominal / 1000 * 1015, (long)(us / 1000),
           "command %d lasts its %d busy-waits, %d ms for this build (ms)", (long)cmd, (long)waits,
           (long)(nominal / 1000));
    return r;
}

/*
 * Commands 2 and 3 at words across the block: the first, the last, port F's
 * and port G's, group 8's third word. Command 2 reads the word and stores
 * nothing; command 3 changes that word alone and leaves its record alone;
 * command 2 reads the new value back.
 */
static void check_port_commands(long fd) {
    static const unsigned offsets[] = {0x0, 0x50, 0x54, 0x58, 0x60, 0x64, 0x88, 0xFFC};
    unsigned long i;

    fill_pages(1);
    for (i = 0; i < DEVICE_COUNT(offsets); i++) {
        unsigned off = offsets[i];
        struct word w = {GPIO, off, want[GPIO][off / 4], 0xC0DE0000u ^ (off << 4) ^ (unsigned)i};
        GPORT_DATA rec = {off, 0xA5A5A5A5u};
        long r = dev_ioctl(fd, TOLVEX_CMD_GPORT_READ, (unsigned long)&rec);
        long differ = words_differ(&w, 0);

        checkf(r == 0 && rec.uloffset == off && rec.ulvalue == w.before && differ == 0, r,
               "command 2 at 0x%x reads 0x%x, stores nothing", (long)off,
               (unsigned long)rec.ulvalue);

        rec.ulvalue = w.after;
        r = dev_ioctl(fd, TOLVEX_CMD_GPORT_WRITE, (unsigned long)&rec);
        differ = words_differ(&w, 1);
        checkf(r == 0 && rec.uloffset == off && rec.ulvalue == w.after && differ == 0, r,
               "command 3 at 0x%x sets that word alone, record left alone", (long)off);

        rec.ulvalue = 0;
        r = dev_ioctl(fd, TOLVEX_CMD_GPORT_READ, (unsigned long)&rec);
        checkf(r == 0 && rec.uloffset == off && rec.ulvalue == w.after, r,
               "command 2 at 0x%x reads back 0x%x", (long)off, (unsigned long)rec.ulvalue);
    }
}

/*
 * Command 1 from chosen words: the configuration words of ports F and G
 * (fields in mode 2 and not) come back as they were; bit 0 of the three
 * system words is set, and one of them has it already: it must stay set.
 */
static const struct word stop_cases[][10] = {
    {
        {GPIO, 0x50, 0xAAAAAAAAu, 0xAAAAAAAAu}, /* port F: every pin in mode 2 */
        {GPIO, 0x60, 0x0000E4E4u, 0x0000E4E4u}, /* port G: pins in modes 0, 1, 2, 3 */
        {GPIO, 0x58, 0xFFFFFFFFu, 0xFFFFFFFCu}, /* bits 0-1 cleared */
        {GPIO, 0x88, 0xFFFFFFFFu, 0xFFFFFFFCu}, /* low three bits 4 */
        {SYS, 0x00, 0x12345679u, 0x12345679u},  /* bit 0 set already */
        {SYS, 0x08, 0x00000000u, 0x00000001u},
        {SYS, 0x10, 0xFFFFFFFEu, 0xFFFFFFFFu},
        {PWR, 0x40, 0xFFFFFFFFu, 0x00010000u}, /* stop request */
        {PWR, 0x60, 0x1235567Fu, 0x1236D7F0u}, /* AND NOT 0x0001000F, OR 0x00028380 */
        {PWR, 0x8C, 0x7FFFFFFFu, 0xFFFFFFFFu}, /* bit 31 set again */
    },
    {
        {GPIO, 0x50, 0x0000E4E4u, 0x0000E4E4u},
        {GPIO, 0x60, 0x55555555u, 0x55555555u}, /* no pin in mode 2 */
        {GPIO, 0x58, 0x00000002u, 0x00000000u},
        {GPIO, 0x88, 0x00000003u, 0x00000004u},
        {SYS, 0x00, 0x00000000u, 0x00000001u},
        {SYS, 0x08, 0x87654321u, 0x87654321u}, /* bit 0 set already */
        {SYS, 0x10, 0x00000010u, 0x00000011u},
        {PWR, 0x40, 0x00000000u, 0x00010000u},
        {PWR, 0x60, 0x00000000u, 0x00028380u},
        {PWR, 0x8C, 0x80000000u, 0x80000000u},
    },
};

/* Command 1's lines after its ioctl line: "\n>> ...\n" and "\n<< ...\n". */
static void announce_stop_mode(void) {
    announce("<4>");
    announce("<4>>> TOLVEX_CMD_PW_STOP_MODE");
    announce("<4>");
    announce("<4><< TOLVEX_CMD_PW_STOP_MODE");
}

static void check_stop_mode(long fd, const struct word *w, unsigned seed) {
    long r;

    set_words(seed, w, DEVICE_COUNT(stop_cases[0]));
    r = timed_ioctl(fd, TOLVEX_CMD_PW_STOP_MODE, 0, 2);
    announce_stop_mode();
    check(r == 0, "command 1 returns 0", r);
    r = words_differ(w, DEVICE_COUNT(stop_cases[0]));
    checkf(r == 0, r, "command 1 from port F 0x%x, G 0x%x: ports restored, stop-mode words set",
           (unsigned long)w[0].before, (unsigned long)w[1].before);
}

/* Command 6 touches the power configuration word and the stop request alone. */
static void check_stop_mode_test(long fd) {
    static const struct word words[] = {
        {PWR, 0x40, 0x00000000u, 0x00010000u},
        {PWR, 0x60, 0x1235567Fu, 0x1236D7F0u},
    };
    long r;

    set_words(3, words, DEVICE_COUNT(words));
    r = timed_ioctl(fd, TOLVEX_CMD_PW_STOP_MODE_TEST, 0, 1);
    check(r == 0, "command 6 returns 0", r);
    check_words(words, DEVICE_COUNT(words), "command 6: power configuration and stop request only");
}

/*
 * Command 5: with the end of conversion (bit 15) already up, the sample is
 * the data words masked to 12 bits; with it never up, -ETIMEDOUT after 50
 * busy-waits and the record untouched. Either way the set-up word gets 0xDC
 * and the control word its own bits plus the start bit.
 */
static void check_adc(long fd) {
    static const struct word done[] = {
        {ADC, 0x00, 0x12348A50u, 0x12348A51u},
        {ADC, 0x04, 0xFFFFFFFFu, 0x000000DCu},
        {ADC, 0x0C, 0x0000ABCDu, 0x0000ABCDu}, /* x */
        {ADC, 0x10, 0xFFFFFFFFu, 0xFFFFFFFFu}, /* y */
    };
    static const struct word never[] = {
        {ADC, 0x00, 0xFFFF7FFEu, 0xFFFF7FFFu},
        {ADC, 0x04, 0x00000000u, 0x000000DCu},
    };
    TSADC_DATA rec = {0xA5A5A5A5u, 0xA5A5A5A5u};
    long r;

    set_words(4, done, DEVICE_COUNT(done));
    r = dev_ioctl(fd, TOLVEX_CMD_TS_ADC, (unsigned long)&rec);
    checkf(r == 0 && rec.xp == 0xBCD && rec.yp == 0xFFF, r,
           "command 5 with the conversion done: x 0x%x, y 0x%x", (unsigned long)rec.xp,
           (unsigned long)rec.yp);
    check_words(done, DEVICE_COUNT(done), "command 5: set-up word and start bit only");

    rec.xp = rec.yp = 0xA5A5A5A5u;
    set_words(5, never, DEVICE_COUNT(never));
    r = timed_ioctl(fd, TOLVEX_CMD_TS_ADC, (unsigned long)&rec, 50);
    checkf(r == -ETIMEDOUT && rec.xp == 0xA5A5A5A5u && rec.yp == 0xA5A5A5A5u, r,
           "command 5 never done: -ETIMEDOUT, record untouched");
    check_words(never, DEVICE_COUNT(never), "command 5 timed out: set-up word and start bit only");
}

/*
 * Two processes run command 1 at once. The kernel's big lock around the
 * ioctl slot runs one command after the other: both succeed, the words end
 * as after one run (the second starts from what the first left), and the
 * log lines of one command are never among the other's (the log check).
 */
static void check_stop_mode_at_once(void) {
    const struct word *w = stop_cases[0];
    int gate[2];
    long pid[2];
    int status[2] = {-1, -1};
    unsigned i;
    long r = sys(NR_PIPE, (long)gate, 0, 0, 0, 0);

    check(r == 0, "pipe", r);
    if (r != 0)
        return;
    set_words(12, w, DEVICE_COUNT(stop_cases[0]));
    for (i = 0; i < 2; i++) {
        pid[i] = sys(NR_FORK, 0, 0, 0, 0, 0);
        if (pid[i] == 0) {
            long fd = dev_open("/dev/tolvex", 0);
            char go;

            sys(NR_READ, gate[0], (long)&go, 1, 0, 0); /* both are ready */
            r = fd < 0 ? fd : sys(NR_IOCTL, fd, TOLVEX_CMD_PW_STOP_MODE, 0, 0, 0);
            sys(NR_EXIT, r == 0 ? 0 : 1, 0, 0, 0, 0);
        }
    }
    for (i = 0; i < 2; i++) {
        say("kit: klog <4>tolvex_ioctl(%d)", (long)TOLVEX_CMD_PW_STOP_MODE);
        announce_stop_mode();
    }
    sys(NR_WRITE, gate[1], (long)"go", 2, 0, 0);
    for (i = 0; i < 2; i++)
        if (pid[i] > 0)
            sys(NR_WAIT4, pid[i], (long)&status[i], 0, 0, 0);
    sys(NR_CLOSE, gate[0], 0, 0, 0, 0);
    sys(NR_CLOSE, gate[1], 0, 0, 0, 0);
    checkf(status[0] == 0 && status[1] == 0, status[0] | status[1],
           "two processes run command 1 at once: both return 0 (wait status)");
    check_words(w, DEVICE_COUNT(stop_cases[0]),
                "command 1 twice at once: the words as after one run");
}

/*
 * Command 2 with its record in a read-only page: the result cannot be
 * stored (ARM's copy_to_user honours the page's permissions), so -EFAULT,
 * the record as it was and no register page changed.
 */
static void check_read_only_record(long fd) {
    long addr = sys6(NR_MMAP2, 0, (long)PAGE_SIZE, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    GPORT_DATA *rec = (GPORT_DATA *)addr;
    long r;

    check((unsigned long)addr < -4096ul, "mmap2 of a page for the record", addr);
    if ((unsigned long)addr >= -4096ul)
        return;
    rec->uloffset = 0x50;
    rec->ulvalue = 0xA5A5A5A5u;
    r = sys(NR_MPROTECT, addr, (long)PAGE_SIZE, PROT_READ, 0, 0);
    check(r == 0, "mprotect of the record's page to PROT_READ", r);
    fill_pages(8);
    r = dev_ioctl(fd, TOLVEX_CMD_GPORT_READ, (unsigned long)rec);
    check(r == -EFAULT && rec->uloffset == 0x50 && rec->ulvalue == 0xA5A5A5A5u,
          "command 2 with a read-only record gets -EFAULT, record unchanged", r);
    check_words(0, 0, "command 2 with a read-only record leaves every page unchanged");
    sys(NR_MUNMAP, addr, (long)PAGE_SIZE, 0, 0, 0);
}

static int hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

/*
 * The user's guide's example program reads port F's configuration word
 * (offset 0x50): with that word set to the value the guide's line shows
 * (its last hexadecimal number), it must print exactly that line.
 */
static void check_guide_example(void) {
    static char line[256], got[256];
    struct word w = {GPIO, 0x50, 0, 0};
    const char *hex = 0;
    const char *s;
    int status = -1;
    long r = slurp("/portf.want", line, sizeof(line));

    check(r > 0, "the guide's output line (/portf.want)", r);
    for (s = line; r > 0 && *s; s++)
        if (s[0] == '0' && s[1] == 'x' && hex_digit(s[2]) >= 0)
            hex = s + 2;
    check(hex != 0, "the guide's line shows a word in hexadecimal", 0);
    for (; hex && hex_digit(*hex) >= 0; hex++)
        w.before = w.before * 16 + (unsigned)hex_digit(*hex);
    w.after = w.before;
    set_words(9, &w, 1);
    say("kit: klog <4>tolvex_ioctl(%d)", (long)TOLVEX_CMD_GPORT_READ);
    r = run_program("/portf", got, sizeof(got), &status);
    checkf(r == 0 && status == 0, r ? r : status,
           "the guide's example with word 0x50 at 0x%x exits with 0 (wait status)",
           (unsigned long)w.before);
    for (s = got, hex = line; *s && *s == *hex; s++, hex++)
        ;
    check(*s == *hex, "the guide's example prints the guide's line exactly", 0);
    if (*s != *hex)
        say("kit: the guide shows: %skit: the program printed: %s", line, got);
    check_words(&w, 1, "the guide's example stores nothing");
}

/*
 * The refusals of device_checks.h, command 4, read and write with the pages
 * in place: none of them touches a word. Then every other command.
 */
static void check_every_command(long fd) {
    unsigned long i;

    if (regs)
        fill_pages(6);
    check_unknown_commands(fd);
    check_port_refusals(fd, TOLVEX_CMD_GPORT_READ, UNMAPPED_ADDRESS, KERNEL_ADDRESS);
    check_command_4_and_io(fd);
    if (!regs)
        return; /* the mapping's failure is reported */
    check_words(0, 0, "refused requests, command 4, read and write leave every page unchanged");
    check_port_commands(fd);
    check_read_only_record(fd);
    for (i = 0; i < DEVICE_COUNT(stop_cases); i++)
        check_stop_mode(fd, stop_cases[i], 10 + (unsigned)i);
    check_stop_mode_at_once();
    check_stop_mode_test(fd);
    check_adc(fd);
    check_guide_example();
}

static long delete_module(void) {
    return sys(NR_DELETE_MODULE, (long)"tolvex", O_NONBLOCK, 0, 0, 0);
}

static char module[1 << 20];

static long load(void) {
    long n = slurp("/tolvex.ko", module, sizeof(module));

    if (n <= 0 || (unsigned long)n >= sizeof(module) - 1) {
        check(0, "read /tolvex.ko", n);
        return n;
    }
    say("kit: /tolvex.ko is %d bytes", n);
    return sys(NR_INIT_MODULE, (long)module, n, (long)"", 0, 0);
}

static void run_load(void) {
    long r;
    long fd;

    check_registered(0);
    map_register_pages();
    announce(LOG_LOAD);
    r = load();
    check(r == 0, "init_module", r);
    if (r != 0)
        return;
    check_registered(1);
    /*
     * Root only, as users are told to make it: the module checks no rights,
     * so with a wider mode any local user could open it read-only and still
     * write port registers or stop the board through ioctl.
     */
    r = sys(NR_MKNOD, (long)"/dev/tolvex", S_IFCHR | 0600, DEV(TOLVEX_MAJOR, 0), 0, 0);
    check(r == 0, "mknod /dev/tolvex c 252 0", r);
    r = sys(NR_MKNOD, (long)"/dev/tolvex7", S_IFCHR | 0600, DEV(TOLVEX_MAJOR, 7), 0, 0);
    check(r == 0, "mknod /dev/tolvex7 c 252 7", r);

    fd = dev_open("/dev/tolvex", 0);
    check(fd >= 0, "open /dev/tolvex", fd);
    if (fd >= 0) {
        check_every_command(fd);
        /* Any minor reaches the same device. */
        check_second_open("/dev/tolvex7");
        r = delete_module();
        check(r == -EAGAIN, "unload refused (EAGAIN) while the device is open", r);
        r = has_line("/proc/modules", "tolvex ");
        check(r == 1, "module still loaded", r);
        check(dev_close(fd) == 0, "close", 0);
    }
    announce(LOG_UNLOAD);
    r = delete_module();
    check(r == 0, "unload after close", r);
    check_registered(0);
    r = sys(NR_OPEN, (long)"/dev/tolvex", O_RDWR, 0, 0, 0);
    check(r == -ENXIO, "open after the unload fails with ENXIO", r);
}

static void run_refuse(void) {
    long r;

    check_registered(0);
    announce("<3>tolvex: unknown relocation: 3");
    r = load();
    check(r == -ENOEXEC, "init_module refused with ENOEXEC", r);
    check_registered(0);
    r = delete_module();
    check(r == -ENOENT, "nothing to unload (ENOENT)", r);
    r = sys(NR_MKNOD, (long)"/dev/tolvex", S_IFCHR | 0600, DEV(TOLVEX_MAJOR, 0), 0, 0);
    check(r == 0, "mknod /dev/tolvex c 252 0", r);
    r = sys(NR_OPEN, (long)"/dev/tolvex", O_RDWR, 0, 0, 0);
    check(r == -ENXIO, "open fails with ENXIO", r);
}

static void dump_kernel_log(void) {
    static char buf[65536];
    long n = sys(NR_SYSLOG, SYSLOG_READ_ALL, (long)buf, sizeof(buf), 0, 0);

    say("kit: log begin");
    if (n > 0)
        sys(NR_WRITE, 1, (long)buf, n, 0, 0);
    say("kit: log end");
    check(n > 0, "kernel log read", n);
}

void start(long *sp);
void start(long *sp) {
    long argc = sp[0];
    char **envp = (char **)(sp + 1 + argc + 1);
    const char *mode = "";
    long r;

    for (; *envp; envp++)
        if (starts(*envp, "kitmode="))
            mode = *envp + len("kitmode=");
        else if (starts(*envp, "kithz="))
            module_hz = number(*envp + len("kithz="));
    say("");
    say("kit: mode %s", mode);
    r = sys(NR_MOUNT, (long)"proc", (long)"/proc", (long)"proc", 0, 0);
    check(r == 0, "mount /proc", r);
    check_monotonic_clock();
    if (starts(mode, "load") && mode[4] == 0)
        run_load();
    else if (starts(mode, "refuse") && mode[6] == 0)
        run_refuse();
    else
        check(0, "kitmode=load|refuse on the kernel command line", 0);
    dump_kernel_log();
    if (failures)
        say("kit: result FAIL (%d)", (long)failures);
    else
        say("kit: result PASS");
    /* Restart; with -no-reboot the emulator exits. */
    sys(NR_REBOOT, (long)0xfee1deadul, 672274793, 0x01234567, 0, 0);
    sys(NR_EXIT, 0, 0, 0, 0, 0);
}

__asm__(".text\n"
        ".global _start\n"
        "_start:\n"
        "  mov r0, sp\n"
        "  bl start\n"
        "1: b 1b\n");
