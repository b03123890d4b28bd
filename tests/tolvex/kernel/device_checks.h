// SPDX-License-Identifier: GPL-2.0-only
/*
 * The checks of the tolvex device through its node that the board boot's
 * freestanding /init (board_init.c) runs in the 2.6.21 kernel. Only requests that
 * the module refuses before touching a register, command 4, read and write
 * are sent here. The board boot runs them with the board's register windows
 * in place (RAM pages in its test kernel) and checks that no word of them
 * changed; it sends the commands that do touch registers itself.
 *
 * The including program defines, before including this file:
 *   DEVICE_IO_BUFFER   size of the largest read and write sent
 *   long dev_open(const char *node, int read_only)    descriptor or -errno
 *   long dev_close(long fd), dev_read(long fd, void *buf, unsigned long n),
 *   long dev_write(long fd, const void *buf, unsigned long n)   result or -errno
 *   long dev_ioctl(long fd, unsigned cmd, unsigned long arg)
 *       result or -errno, after announcing the log line the driver must
 *       print for the request
 *   void check(int ok, const char *what, long got)
 *       reports one check ("ok"/"FAIL") and counts the failures
 */
#include "tolvex.h"

#define DEVICE_COUNT(a) (sizeof(a) / sizeof((a)[0]))

static void expect_ioctl(long fd, unsigned cmd, unsigned long arg, long want, const char *what) {
    long r = dev_ioctl(fd, cmd, arg);

    check(r == want, what, r);
}

static void check_unknown_commands(long fd) {
    static const unsigned cmds[] = {0, 7, 8, 0x100, 0x80000000u, 0xFFFFFFFFu};
    unsigned long i;

    for (i = 0; i < DEVICE_COUNT(cmds); i++)
        expect_ioctl(fd, cmds[i], 0, -ENOTTY, "unknown command gets -ENOTTY");
}

/* Commands from first_cmd to 3 refuse a record they cannot read and an
 * offset that is unaligned or outside the 4 KiB port block, leaving the
 * record alone. */
static void check_port_refusals(long fd, unsigned first_cmd, unsigned long unmapped,
                                unsigned long kernel) {
    const unsigned long addrs[] = {0, unmapped, kernel};
    static const char *const names[] = {"NULL record gets -EFAULT", "unmapped record gets -EFAULT",
                                        "kernel-address record gets -EFAULT"};
    static const unsigned offsets[] = {0x1000, 0x2, 0xFFFFFFFCu, 0x1004, 0xFFD};
    unsigned cmd;
    unsigned long i;

    for (cmd = first_cmd; cmd <= TOLVEX_CMD_GPORT_WRITE; cmd++) {
        for (i = 0; i < DEVICE_COUNT(addrs); i++)
            expect_ioctl(fd, cmd, addrs[i], -EFAULT, names[i]);
        for (i = 0; i < DEVICE_COUNT(offsets); i++) {
            GPORT_DATA rec = {offsets[i], 0xA5A5A5A5u};

            expect_ioctl(fd, cmd, (unsigned long)&rec, -EINVAL,
                         "offset out of the block gets -EINVAL");
            check(rec.uloffset == offsets[i] && rec.ulvalue == 0xA5A5A5A5u, "record left alone",
                  (long)rec.uloffset);
        }
    }
}

/* Command 4 ignores its argument; read returns 0 and leaves the buffer alone;
 * write refuses data with -EINVAL and returns 0 for nothing. */
static void check_command_4_and_io(long fd) {
    static unsigned char buf[DEVICE_IO_BUFFER];
    static const unsigned long lens[] = {0, 1, 8, 4096, sizeof(buf)};
    GPORT_DATA rec = {0x12345678u, 0x9ABCDEF0u};
    unsigned long i;
    int untouched = 1;

    expect_ioctl(fd, TOLVEX_PBA_END_GPOTEST, (unsigned long)&rec, 0, "command 4 with a record");
    check(rec.uloffset == 0x12345678u && rec.ulvalue == 0x9ABCDEF0u,
          "command 4 leaves its record alone", (long)rec.uloffset);
    expect_ioctl(fd, TOLVEX_PBA_END_GPOTEST, 0xDEADBEEFul, 0, "command 4 with a junk argument");

    for (i = 0; i < sizeof(buf); i++)
        buf[i] = 0x5A;
    for (i = 0; i < DEVICE_COUNT(lens); i++) {
        long r = dev_read(fd, buf, lens[i]);

        check(r == 0, "read returns 0", r);
        r = dev_write(fd, buf, lens[i]);
        check(r == (lens[i] ? -EINVAL : 0), "write of data gets -EINVAL, of nothing 0", r);
    }
    for (i = 0; i < sizeof(buf); i++)
        untouched &= buf[i] == 0x5A;
    check(untouched, "read leaves the buffer alone", 0);
}

/* Opens keep no state: a second open while the first is held reaches the
 * same handler. */
static void check_second_open(const char *node) {
    long fd2 = dev_open(node, 1);

    check(fd2 >= 0, "second open while the first is held", fd2);
    if (fd2 >= 0) {
        expect_ioctl(fd2, TOLVEX_PBA_END_GPOTEST, 0, 0, "command 4 on the second open");
        check(dev_close(fd2) == 0, "close of the second open", 0);
    }
}
