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

// Values of the set-up requests: two retries, a time-out of 5.
#define HSPI_RETRIES 2
#define HSPI_TIMEOUT 5

// Flags word of request 0x704: the driver's base settings, always sent, and
// the role of this end of the link.
#define HSPI_FLAG_BASE 0x100
#define HSPI_FLAG_SETUP 0x54
#define HSPI_FLAG_MASTER 0x1
#define HSPI_FLAG_SLAVE 0x2

// Command-line codes of the role and of the direction; any other value
// selects neither.
#define MODE_MASTER 0
#define MODE_SLAVE 1
#define XFER_TX 0
#define XFER_RX 1

// Pause after the transfer, in microseconds.
#define XFER_PAUSE_US 5

#define MAX_XFER_SIZE 65536

struct spi_rdwr_data {
    unsigned char tx_buf[MAX_XFER_SIZE];
    unsigned char rx_buf[MAX_XFER_SIZE];
    unsigned int count;
};

// The node this run opens.
static const char *DEV_NODE;

static void usage(void) {
    puts("high speed quenzor - Utility to test hspi data communication");
    puts("Usage:");
    puts("\tquenzor <Count>(xfer size) <mode>(0 for master; 1 for slave) <xfer>(0 for tx: 1 for "
         "rx) <device>(0 for /dev/spi0; 1 for /dev/spi1)");
}

// The test pattern the send side puts on the wire: 0x00 .. 0x1f, repeated.
static void fill_pattern(struct spi_rdwr_data *data, unsigned int count) {
    data->count = count;
    for (unsigned int i = 0; i < count; i++)
        data->tx_buf[i] = (unsigned char)(i % 32);
}

static unsigned int transfer_flags(unsigned int mode) {
    unsigned int flags = HSPI_FLAG_BASE | HSPI_FLAG_SETUP;
    if (mode == MODE_MASTER)
        flags |= HSPI_FLAG_MASTER;
    else if (mode == MODE_SLAVE)
        flags |= HSPI_FLAG_SLAVE;
    return flags;
}

// The role and the direction; with mode 0 and xfer 0 both share one line.
static void announce(unsigned int mode, unsigned int xfer, unsigned int count) {
    if (mode == MODE_MASTER)
        printf("***** MODE : Master ");
    else if (mode == MODE_SLAVE)
        printf("***** MODE : Slave ");

    if (xfer == XFER_RX) {
        puts("Rx mode *****");
        printf("Will receive %d data from %s.\n", (int)count, DEV_NODE);
    } else if (xfer == XFER_TX) {
        puts("Tx mode *****");
        printf("Will send %d data by %s.\n", (int)count, DEV_NODE);
    }
}

// The whole block moves in one call. Returns what the write or the read
// returned (0 when the direction is neither).
static int transfer(int fd, unsigned int flags, unsigned int xfer, struct spi_rdwr_data *data) {
    int ret = 0;
    ioctl(fd, HSPI_IOCTL_FLAGS, flags);
    if (xfer == XFER_TX)
        ret = (int)write(fd, data->tx_buf, data->count);
    else if (xfer == XFER_RX)
        ret = (int)read(fd, data->rx_buf, data->count);
    usleep(XFER_PAUSE_US);
    return ret;
}

// The block in hexadecimal: the first line holds bytes 0..16, each later
// line 16 bytes.
static void dump(const struct spi_rdwr_data *data, unsigned int xfer) {
    if (xfer == XFER_TX)
        printf("\n*****Data Written( %d data)*****\n", (int)data->count);
    else if (xfer == XFER_RX)
        printf("\n*****Data Read( %d data)****\n", (int)data->count);

    for (int i = 0; i < (int)data->count; i++) {
        if (xfer == XFER_TX)
            printf(" %x ", data->tx_buf[i]);
        else if (xfer == XFER_RX)
            printf("%x ", data->rx_buf[i]);
        if (i % 16 == 0 && i > 15)
            putchar('\n');
    }
}

// A receive that failed or came back short is a failure whatever the buffer
// holds: the pattern has a 0 at every multiple of 32, so the zero-filled
// rest would otherwise compare equal.
static void verdict(const struct spi_rdwr_data *data, int received) {
    int ret = -1;
    if (received == (int)data->count)
        ret = memcmp(data->tx_buf, data->rx_buf, data->count);
    if (ret == 0)
        puts("\n\nCoool!! Data received successful +++++++++++");
    else
        puts("\n\nXXXXX Ooops!! Data received failed XXXXX");
    puts("\n");
}

int main(int argc, char **argv) {
    struct spi_rdwr_data rdwr_data;

    memset(rdwr_data.tx_buf, 0, sizeof(rdwr_data.tx_buf));
    memset(rdwr_data.rx_buf, 0, sizeof(rdwr_data.rx_buf));

    if (argc != 5) {
        usage();
        return 0;
    }
    unsigned int lcount = (unsigned int)atoi(argv[1]);
    unsigned int mode = (unsigned int)atoi(argv[2]);
    unsigned int xfer = (unsigned int)atoi(argv[3]);
    unsigned int ldev = (unsigned int)atoi(argv[4]);

    // Unsigned compare: a negative Count wraps to a huge value and stops here.
    if (lcount > MAX_XFER_SIZE) {
        printf("Max Num Bytes : %d !!\n", MAX_XFER_SIZE);
        usage();
        return 0;
    }

    DEV_NODE = ldev == 0 ? "/dev/hsspi" : "/dev/spi";
    printf("count: %d\n", (int)lcount);
    fill_pattern(&rdwr_data, lcount);

    printf("opening %s\n", DEV_NODE);
    int fd = open(DEV_NODE, O_RDWR);
    if (fd < 0) {
        printf("\nCan not open %s (%d)\n", DEV_NODE, fd);
        exit(0);
    }
    ioctl(fd, HSPI_IOCTL_RETRIES, HSPI_RETRIES);
    ioctl(fd, HSPI_IOCTL_TIMEOUT, HSPI_TIMEOUT);

    announce(mode, xfer, lcount);
    int ret = transfer(fd, transfer_flags(mode), xfer, &rdwr_data);

    dump(&rdwr_data, xfer);
    if (xfer == XFER_RX)
        verdict(&rdwr_data, ret);
    puts("\n");

    close(fd);
    return 0;
}
