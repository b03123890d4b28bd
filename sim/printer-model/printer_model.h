// SPDX-License-Identifier: GPL-2.0-only
/* The simulated USB printer: what it answers and what it keeps, apart from
 * the host that carries its pipes (the Windows-API stand-in, or a Windows
 * driver under wine). Plain C that also compiles as C++; the state is one
 * record of fixed buffers, nothing is allocated.
 *
 * Device ID: the device-ID request is answered with a 2-byte big-endian
 * length prefix (it counts itself) and the ID text. The byte count the
 * request reports can be set apart from the bytes.
 *
 * Output pipe: print data, and two escape commands, each sent as one write:
 *   read:  ESC "%-43.21SR"                  answer: the command, the serial
 *   write: ESC "%-43.21SW" + 16 characters  answer: the command, 0x00, the
 *                                           serial now held
 * A write of exactly one of these commands is never print data, whether it
 * was taken whole or not; a command taken only in part is not acted on.
 *
 * Input pipe: each answer is one packet. A read of at least the packet's
 * size returns the whole packet; a shorter read fails and the packet is
 * lost (a USB bulk read that a packet overflows); with no packet waiting
 * the read fails as a driver time-out would.
 *
 * What the printer keeps across power cycles is its serial number (sixteen
 * '0' until one is written). Its state text is one line "serial=<value>"
 * with every byte outside '!'..'~' and '%' itself written as %XX, so any
 * serial number survives the round trip.
 *
 * Description: key=value lines, read in place by printer_description_line
 * for every host; each host owns its own keys besides the model's. */
#ifndef PRINTER_MODEL_H
#define PRINTER_MODEL_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    PRINTER_SERIAL_LENGTH = 16,
    PRINTER_COMMAND_LENGTH = 10,
    PRINTER_ID_MAX = 1024, /* device-ID text bytes */
    PRINTER_ECHO_MAX = 32, /* read-answer echo bytes (fault setting) */
    PRINTER_PACKET_MAX = 64,
    PRINTER_QUEUE_MAX = 8, /* answers waiting on the input pipe */
    PRINTER_STATE_MAX = 64 /* "serial=" + 16 x "%XX" + "\n" */
};

/* Device I/O control codes the printer's device answers: the device-ID
 * request of the USB printing class, and the set-up and device-ID requests
 * of the alternative class. */
#define PRINTER_IOCTL_USBPRINT_DEVICE_ID 0x00220034UL
#define PRINTER_IOCTL_ALT_SETUP 0x00220018UL
#define PRINTER_IOCTL_ALT_DEVICE_ID 0x00220010UL

/* Results of printer_model_write. */
enum { PRINTER_DATA = 0, PRINTER_ESCAPE = 1 };
/* Results of printer_model_read. */
enum { PRINTER_READ_OK = 0, PRINTER_READ_OVERFLOW = 1, PRINTER_READ_EMPTY = 2 };
/* Results of printer_model_setting. */
enum { PRINTER_SETTING_OK = 0, PRINTER_SETTING_UNKNOWN = 1, PRINTER_SETTING_BAD = 2 };

struct printer_packet {
    unsigned char bytes[PRINTER_PACKET_MAX];
    size_t length;
};

struct printer_model {
    char device_id[PRINTER_ID_MAX]; /* the ID text, without prefix or terminator */
    size_t device_id_length;
    long id_count; /* byte count the device-ID request reports; -1: prefix + text */

    char serial[PRINTER_SERIAL_LENGTH]; /* what the printer holds */
    int stored;                         /* a write command changed it */

    /* Faults of the serial-number answers. */
    unsigned char read_echo[PRINTER_ECHO_MAX]; /* echo in the read answer ... */
    size_t read_echo_length;                   /* ... 0: the read command itself */
    long read_reply_length;  /* the read answer cut to this many bytes (0: none; -1: whole) */
    long write_reply_length; /* the same for the write answer */
    int write_gap;           /* byte between echo and serial in the write answer */
    int write_ignored;       /* answers a write but keeps the serial it held */
    int write_reply_garble;  /* serial position the write answer changes (-1: none) */

    struct printer_packet queue[PRINTER_QUEUE_MAX];
    size_t queue_first;
    size_t queue_count;
};

/* A printer with the blank serial number, no device ID and no fault. */
void printer_model_init(struct printer_model *printer);

/* Sets the device-ID text. Returns 0 when it is longer than PRINTER_ID_MAX. */
int printer_model_set_device_id(struct printer_model *printer, const char *text, size_t length);

/* The device-ID answer: copies prefix and text, at most out_size bytes, and
 * returns the number copied; *reported is the count the request reports
 * (never more than out_size). */
size_t printer_model_device_id(const struct printer_model *printer, unsigned char *out,
                               size_t out_size, size_t *reported);

/* The answer to the alternative class's set-up request: 8 bytes nobody
 * reads. Copies at most out_size of them (none when out is NULL) and
 * returns the count the request reports. */
size_t printer_model_setup_answer(unsigned char *out, size_t out_size);

/* One write on the output pipe, of which the printer took `taken` of the
 * `offered` bytes. Returns PRINTER_ESCAPE for an escape command (acted on
 * when taken whole), PRINTER_DATA for print data. */
int printer_model_write(struct printer_model *printer, const unsigned char *data, size_t offered,
                        size_t taken);

/* One read of up to `count` bytes on the input pipe; *done is the number of
 * bytes delivered (0 unless PRINTER_READ_OK). */
int printer_model_read(struct printer_model *printer, unsigned char *out, size_t count,
                       size_t *done);

/* A whole number as a description writes it: optional sign, then decimal,
 * 0x hexadecimal or 0 octal, nothing after it, within 32 bits. Returns 1 and
 * sets *value, or 0. Every host parses its own settings' numbers with it. */
int printer_model_number(const char *text, long *value);

/* A printer setting from a description, key and value as NUL-terminated
 * text: device_id=<text>, id_count=<n>, serial=<16 characters>,
 * serial_read_echo=<text> (a leading '^' stands for ESC),
 * serial_read_reply_length=<n>, serial_write_reply_length=<n>,
 * serial_write_gap=<n>, serial_write_ignored=<0|1>, serial_write_garble=<n>.
 * Numbers are decimal, 0x hexadecimal or 0 octal. */
int printer_model_setting(struct printer_model *printer, const char *key, const char *value);

/* 1 when key is one of the settings above, 0 otherwise (changes nothing). */
int printer_model_is_key(const char *key);

/* Reading a description text in place, line by line. */
struct printer_description {
    char *next;         /* start of the line not yet taken */
    char *end;          /* end of the text */
    unsigned long line; /* number of the line last taken, from 1 */
    int nul_byte;       /* 1 when that line holds a NUL byte */
};

/* Starts reading text[0..length); text[length] must be writable (the
 * reader writes a NUL there). */
void printer_description_start(struct printer_description *reader, char *text, size_t length);

/* Takes the next line that is neither empty nor a comment ('#' first):
 * a CR before its line end is dropped, the line is cut at its end and at its
 * first '=' by writing NULs into the text. Returns 0 at the end of the text;
 * otherwise 1, with *key the text before the '=' and *value the text after
 * it, or NULL when the line has no '=' or holds a NUL byte (reader->nul_byte
 * then 1: a key or value cut there would be taken for another one);
 * reader->line is its number. */
int printer_description_line(struct printer_description *reader, char **key, char **value);

/* The state text ("serial=...\n"), NUL-terminated; returns its length, or 0
 * when out_size is below PRINTER_STATE_MAX. */
size_t printer_model_save_state(const struct printer_model *printer, char *out, size_t out_size);

/* Takes the serial number from one state line (with or without its line
 * end). Returns 0, and changes nothing, when the line is not a valid state
 * line. */
int printer_model_load_state(struct printer_model *printer, const char *line, size_t length);

#ifdef __cplusplus
}
#endif

#endif
