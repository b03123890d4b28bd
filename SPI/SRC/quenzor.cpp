// SPDX-License-Identifier: GPL-2.0-only
// quenzor: one SPI transfer on the board's high-speed SPI node, with a
// hexadecimal dump of the block and, after a receive, a check against the
// test pattern that the send side puts on the wire.
//
// Usage: quenzor <Count> <mode> <xfer> <device>
//   Count  bytes to move, 0..65536
//   mode   0 master, 1 slave (anything else: neither flag)
//   xfer   0 send, 1 receive (anything else: no data moves)
//   device 0 "/dev/hsspi", anything else "/dev/spi"
//
// Every way out ends with exit status 0; all output goes to standard output.

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

// Requests understood by the SPI driver; the third argument is the value
// itself, not its address.
#define HSPI_IOCTL_RETRIES 0x701
#define HSPI_IOCTL_TIMEOUT 0x702
#define HSPI_IOCTL_FLAGS 0x704

#define HSPI_FLAG_MASTER 0x1
#define HSPI_FLAG_SLAVE 0x2

#define MAX_XFER_SIZE 65536

struct spi_rdwr_data {
    unsigned char tx_buf[MAX_XFER_SIZE];
    unsigned char rx_buf[MAX_XFER_SIZE];
    unsigned int count;
};

static char DEV_NODE[20];

static void usage(void) {
    puts("high speed quenzor - Utility to test hspi data communication");
    puts("Usage:");
    puts("\tquenzor <Count>(xfer size) <mode>(0 for master; 1 for slave) <xfer>(0 for tx: 1 for "
         "rx) <device>(0 for /dev/spi0; 1 for /dev/spi1)");
}

int main(int argc, char **argv) {
    struct spi_rdwr_data rdwr_data;
    unsigned int lcount;
    unsigned int mode;
    unsigned int xfer;
    unsigned int ldev;
    int fd;
    int retries;
    int timeout;
    unsigned int flags;
    int ret;
    int i;
    int j;

    memset(rdwr_data.tx_buf, 0, sizeof(rdwr_data.tx_buf));
    memset(rdwr_data.rx_buf, 0, sizeof(rdwr_data.rx_buf));

    if (argc != 5) {
        usage();
        return 0;
    }

    lcount = (unsigned int)atoi(argv[1]);
    mode = (unsigned int)atoi(argv[2]);
    xfer = (unsigned int)atoi(argv[3]);
    ldev = (unsigned int)atoi(argv[4]);

    // Unsigned compare: a negative Count wraps to a huge value and stops here.
    if (lcount > MAX_XFER_SIZE) {
        printf("Max Num Bytes : %d !!\n", MAX_XFER_SIZE);
        usage();
        return 0;
    }

    if (ldev == 0)
        memcpy(DEV_NODE, "/dev/hsspi", 11);
    else
        memcpy(DEV_NODE, "/dev/spi", 9);

    printf("count: %d\n", (int)lcount);

    rdwr_data.count = lcount;
    for (i = 0; i < (int)lcount; i++)
        rdwr_data.tx_buf[i] = (unsigned char)(i % 32);

    printf("opening %s\n", DEV_NODE);
    fd = open(DEV_NODE, O_RDWR);
    if (fd < 0) {
        printf("\nCan not open %s (%d)\n", DEV_NODE, fd);
        exit(0);
    }

    retries = 2;
    ioctl(fd, HSPI_IOCTL_RETRIES, retries);
    timeout = 5;
    ioctl(fd, HSPI_IOCTL_TIMEOUT, timeout);

    flags = 0x100;
    flags |= 0x54;
    if (mode == 0) {
        flags |= HSPI_FLAG_MASTER;
        printf("***** MODE : Master ");
    } else if (mode == 1) {
        flags |= HSPI_FLAG_SLAVE;
        printf("***** MODE : Slave ");
    }

    if (xfer == 1) {
        puts("Rx mode *****");
        printf("Will receive %d data from %s.\n", (int)lcount, DEV_NODE);
    } else if (xfer == 0) {
        puts("Tx mode *****");
        printf("Will send %d data by %s.\n", (int)lcount, DEV_NODE);
    }

    // The whole block moves in one call. What a send returns is not
    // examined; what a receive returns decides the verdict below.
    ret = 0;
    for (j = 0; j < 1; j++) {
        ioctl(fd, HSPI_IOCTL_FLAGS, flags);
        if (xfer == 0)
            ret = (int)write(fd, rdwr_data.tx_buf, lcount);
        else if (xfer == 1)
            ret = (int)read(fd, rdwr_data.rx_buf, lcount);
        usleep(5);
    }

    if (xfer == 0)
        printf("\n*****Data Written( %d data)*****\n", (int)lcount);
    else if (xfer == 1)
        printf("\n*****Data Read( %d data)****\n", (int)lcount);

    // The first line holds bytes 0..16, each later line 16 bytes.
    for (i = 0; i < (int)lcount; i++) {
        if (xfer == 0)
            printf(" %x ", rdwr_data.tx_buf[i]);
        else if (xfer == 1)
            printf("%x ", rdwr_data.rx_buf[i]);
        if (i % 16 == 0 && i > 15)
            putchar('\n');
    }

    // A receive that failed or came back short is a failure whatever the
    // buffer holds: the pattern has a 0 at every multiple of 32, so the
    // zero-filled rest would otherwise compare equal.
    if (xfer == 1) {
        if (ret == (int)lcount)
            ret = memcmp(rdwr_data.tx_buf, rdwr_data.rx_buf, lcount);
        else
            ret = -1;
        if (ret == 0)
            puts("\n\nCoool!! Data received successful +++++++++++");
        else
            puts("\n\nXXXXX Ooops!! Data received failed XXXXX");
        puts("\n");
    }

    puts("\n");

    close(fd);
    return 0;
}
