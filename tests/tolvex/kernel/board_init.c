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
 *
 * Every check prints "kit: ok ..." or "kit: FAIL ...". Every kernel log line
 * the module must print, in order, is announced as "kit: klog <line>"; the
 * kernel log (with levels) follows between "kit: log begin" and
 * "kit: log end", then "kit: result PASS" or "kit: result FAIL (n)". A
 * restart ends the emulator (-no-reboot). The checks through the device
 * node are shared with the current-kernel boot (device_checks.h).
 */
#include <stdarg.h>

enum {
    NR_EXIT = 1,
    NR_READ = 3,
    NR_WRITE = 4,
    NR_OPEN = 5,
    NR_CLOSE = 6,
    NR_MKNOD = 14,
    NR_MOUNT = 21,
    NR_IOCTL = 54,
    NR_REBOOT = 88,
    NR_SYSLOG = 103,
    NR_INIT_MODULE = 128,
    NR_DELETE_MODULE = 129,
};

enum {
    ENOENT = 2,
    ENXIO = 6,
    ENOEXEC = 8,
    EAGAIN = 11,
    EFAULT = 14,
    EINVAL = 22,
    ENOTTY = 25,
};

#define O_RDONLY 0
#define O_RDWR 2
#define O_NONBLOCK 04000
#define S_IFCHR 0020000
#define TOLVEX_MAJOR 252
/* Old-style device number as mknod takes it: minor below 256. */
#define DEV(major, minor) (((major) << 8) | (minor))
#define SYSLOG_READ_ALL 3
#define KERNEL_ADDRESS 0xC0008000ul
#define UNMAPPED_ADDRESS 0x10000000ul /* far above this program, far below its stack */
#define LOG_LOAD "<4>[device_init : 339] device_init() start !!!"
#define LOG_UNLOAD "<4>[device_exit : 352] device_exit() !!!"

static long sys(long nr, long a, long b, long c, long d, long e) {
    register long r0 __asm__("r0") = a;
    register long r1 __asm__("r1") = b;
    register long r2 __asm__("r2") = c;
    register long r3 __asm__("r3") = d;
    register long r4 __asm__("r4") = e;
    register long r7 __asm__("r7") = nr;

    __asm__ volatile("svc #0" : "+r"(r0) : "r"(r1), "r"(r2), "r"(r3), "r"(r4), "r"(r7) : "memory");
    return r0;
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

/* Formats %s, %d, %u and %x into one console line (one write). */
static void say(const char *fmt, ...) {
    char line[256];
    unsigned long n = 0;
    va_list ap;

    va_start(ap, fmt);
    for (; *fmt && n < sizeof(line) - 16; fmt++) {
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
            for (s = va_arg(ap, const char *); *s && n < sizeof(line) - 16; s++)
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
    announce(LOG_LOAD);
    r = load();
    check(r == 0, "init_module", r);
    if (r != 0)
        return;
    check_registered(1);
    r = sys(NR_MKNOD, (long)"/dev/tolvex", S_IFCHR | 0600, DEV(TOLVEX_MAJOR, 0), 0, 0);
    check(r == 0, "mknod /dev/tolvex c 252 0", r);
    r = sys(NR_MKNOD, (long)"/dev/tolvex7", S_IFCHR | 0600, DEV(TOLVEX_MAJOR, 7), 0, 0);
    check(r == 0, "mknod /dev/tolvex7 c 252 7", r);

    fd = dev_open("/dev/tolvex", 0);
    check(fd >= 0, "open /dev/tolvex", fd);
    if (fd >= 0) {
        check_unknown_commands(fd);
        check_port_refusals(fd, TOLVEX_CMD_GPORT_READ, UNMAPPED_ADDRESS, KERNEL_ADDRESS);
        check_command_4_and_io(fd);
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
    say("");
    say("kit: mode %s", mode);
    r = sys(NR_MOUNT, (long)"proc", (long)"/proc", (long)"proc", 0, 0);
    check(r == 0, "mount /proc", r);
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
