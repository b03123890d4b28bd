// SPDX-License-Identifier: GPL-2.0-only
/*
 * In-guest check of the tolvex device through its node, run by the test's
 * /init inside a kernel booted under emulation. Built static (x86_64).
 *
 *   tolvex_check insmod <ko>  load a module with one finit_module call (no
 *                             retry through init_module, which would run the
 *                             module's load entry a second time); exit 0 when
 *                             loaded, else the errno
 *   tolvex_check run <node>   exercise the node; prints "ok ..." / "FAIL ..."
 *                             and, for every ioctl it issues, the entry line
 *                             the driver must log ("klog: tolvex_ioctl(N)").
 *                             Exit 0 when every check passed, 1 otherwise.
 *   tolvex_check exit <code>  report <code> through the emulator's debug-exit
 *                             port (0xf4); the emulator then exits with
 *                             (code << 1) | 1.
 *
 * The fixed board register addresses are not mapped on a PC: only commands
 * that must be refused before any register access are sent here (0, 4, 7,
 * 0xFFFFFFFF, and 2/3 with an unreadable record or an offset outside the
 * port block). Commands 1, 5, 6 and 2/3 with a valid offset are never sent.
 *
 * On current kernels request code 2 is the block-size query that the VFS
 * answers itself for every file, so command 2 never reaches the driver
 * there (on the board's kernel it does). It is only checked to stay that
 * way; command 3's refusals are checked through the driver.
 */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/io.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <linux/fs.h>

static int failures;

static void check(int ok, const char *what, long got) {
    printf("%s %s (got %ld)\n", ok ? "ok" : "FAIL", what, got);
    if (!ok)
        failures++;
}

static long result(long r) {
    return r < 0 ? -errno : r;
}

static long dev_open(const char *node, int read_only) {
    return result(open(node, read_only ? O_RDONLY : O_RDWR));
}

static long dev_close(long fd) {
    return result(close((int)fd));
}

static long dev_read(long fd, void *buf, unsigned long n) {
    return result(read((int)fd, buf, n));
}

static long dev_write(long fd, const void *buf, unsigned long n) {
    return result(write((int)fd, buf, n));
}

/* Issues one ioctl and announces the entry line the driver logs for it. */
static long dev_ioctl(long fd, unsigned cmd, unsigned long arg) {
    printf("klog: tolvex_ioctl(%d)\n", (int)cmd);
    fflush(stdout);
    return result(ioctl((int)fd, (unsigned long)cmd, arg));
}

#define DEVICE_IO_BUFFER 65536
#include "device_checks.h"

_Static_assert(FIGETBSZ == TOLVEX_CMD_GPORT_READ, "request code 2 is the block-size query");

/* A page that was mapped and then unmapped: an address with nothing behind it. */
static unsigned long unmapped_address(void) {
    long page = sysconf(_SC_PAGESIZE);
    void *p = mmap(NULL, (size_t)page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);

    if (p == MAP_FAILED)
        return 0;
    munmap(p, (size_t)page);
    return (unsigned long)p;
}

/*
 * Request code 2 is answered by the VFS with the file system's block size
 * written to the int at the argument, before any driver sees it. The probe
 * carries an offset the driver would refuse, so it is harmless either way;
 * no driver log line is announced for it.
 */
static void check_command_2_not_delivered(long fd) {
    GPORT_DATA rec = {0x2000, 0xA5A5A5A5u};
    char line[160];
    int r;

    errno = 0;
    r = ioctl((int)fd, (unsigned long)TOLVEX_CMD_GPORT_READ, &rec);
    snprintf(line, sizeof(line),
             "command 2 is the kernel's block-size query here, not delivered to the driver: "
             "result %d, record {0x%x, 0x%x}",
             r, rec.uloffset, rec.ulvalue);
    check(r == 0 && rec.uloffset == (unsigned int)getpagesize() && rec.ulvalue == 0xA5A5A5A5u, line,
          r);
}

static int run(const char *node) {
    long fd = dev_open(node, 0);

    check(fd >= 0, "open", fd);
    if (fd < 0)
        return 1;
    check_unknown_commands(fd);
    /* Command 2 never reaches the driver here (see above). */
    check_port_refusals(fd, TOLVEX_CMD_GPORT_WRITE, unmapped_address(), 0xFFFFFFFF81000000ul);
    check_command_4_and_io(fd);
    check_command_2_not_delivered(fd);
    check_second_open(node);
    check(dev_close(fd) == 0, "close", 0);

    printf("%s: %d check(s) failed\n", failures ? "FAIL" : "PASS", failures);
    return failures ? 1 : 0;
}

static int load_module(const char *path) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    int err;

    if (fd < 0) {
        printf("insmod: open %s: %s\n", path, strerror(errno));
        return 1;
    }
    if (syscall(SYS_finit_module, fd, "", 0) == 0) {
        printf("insmod: loaded %s\n", path);
        close(fd);
        return 0;
    }
    err = errno;
    printf("insmod: errno %d (%s)\n", err, strerror(err));
    close(fd);
    return err > 0 && err < 126 ? err : 1;
}

static int debug_exit(int code) {
    if (ioperm(0xf4, 1, 1) != 0) {
        perror("ioperm 0xf4");
        return 1;
    }
    outb((unsigned char)code, 0xf4);
    /* Only reached when no debug-exit device is present. */
    fprintf(stderr, "debug-exit port did not stop the machine\n");
    return 1;
}

int main(int argc, char **argv) {
    setvbuf(stdout, NULL, _IOLBF, 0);
    if (argc == 3 && strcmp(argv[1], "run") == 0)
        return run(argv[2]);
    if (argc == 3 && strcmp(argv[1], "insmod") == 0)
        return load_module(argv[2]);
    if (argc == 3 && strcmp(argv[1], "exit") == 0)
        return debug_exit(atoi(argv[2]));
    fprintf(stderr, "usage: %s insmod <ko> | run <node> | exit <code>\n", argv[0]);
    return 2;
}
