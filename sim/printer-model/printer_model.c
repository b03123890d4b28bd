// SPDX-License-Identifier: GPL-2.0-only
/* The simulated USB printer (printer_model.h). No C library: the same source
 * runs inside a kernel-mode driver. */
#include "printer_model.h"

static const unsigned char read_command[PRINTER_COMMAND_LENGTH] = {0x1B, '%', '-', '4', '3',
                                                                   '.',  '2', '1', 'S', 'R'};
static const unsigned char write_prefix[PRINTER_COMMAND_LENGTH] = {0x1B, '%', '-', '4', '3',
                                                                   '.',  '2', '1', 'S', 'W'};
static const char hex_digits[] = "0123456789ABCDEF";

static void copy_bytes(void *to, const void *from, size_t count) {
    unsigned char *t = (unsigned char *)to;
    const unsigned char *f = (const unsigned char *)from;
    while (count-- > 0) {
        *t++ = *f++;
    }
}

static int same_bytes(const void *a, const void *b, size_t count) {
    const unsigned char *x = (const unsigned char *)a;
    const unsigned char *y = (const unsigned char *)b;
    for (size_t i = 0; i < count; i++) {
        if (x[i] != y[i]) {
            return 0;
        }
    }
    return 1;
}

static size_t text_length(const char *text) {
    size_t n = 0;
    while (text[n] != '\0') {
        n++;
    }
    return n;
}

static int same_text(const char *a, const char *b) {
    while (*a != '\0' && *a == *b) {
        a++;
        b++;
    }
    return *a == *b;
}

static int digit_value(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return 99;
}

int printer_model_number(const char *text, long *value) {
    int negative = 0;
    int base = 10;
    long n = 0;
    if (*text == '-' || *text == '+') {
        negative = *text == '-';
        text++;
    }
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    } else if (text[0] == '0' && text[1] != '\0') {
        base = 8;
        text++;
    }
    if (*text == '\0') {
        return 0;
    }
    for (; *text != '\0'; text++) {
        int d = digit_value(*text);
        if (d >= base || n > (0x7FFFFFFFL - d) / base) {
            return 0;
        }
        n = n * base + d;
    }
    *value = negative ? -n : n;
    return 1;
}

/* Queues one answer, cut to `limit` bytes when limit is 0 or more. An
 * answer cut to nothing is not sent; a full queue drops the new answer. */
static void queue_answer(struct printer_model *printer, const unsigned char *bytes, size_t length,
                         long limit) {
    if (limit >= 0 && (size_t)limit < length) {
        length = (size_t)limit;
    }
    if (length == 0 || printer->queue_count == PRINTER_QUEUE_MAX) {
        return;
    }
    struct printer_packet *packet =
        &printer->queue[(printer->queue_first + printer->queue_count) % PRINTER_QUEUE_MAX];
    copy_bytes(packet->bytes, bytes, length);
    packet->length = length;
    printer->queue_count++;
}

void printer_model_init(struct printer_model *printer) {
    unsigned char *p = (unsigned char *)printer;
    for (size_t i = 0; i < sizeof(*printer); i++) {
        p[i] = 0;
    }
    for (size_t i = 0; i < PRINTER_SERIAL_LENGTH; i++) {
        printer->serial[i] = '0';
    }
    printer->id_count = -1;
    printer->read_reply_length = -1;
    printer->write_reply_length = -1;
    printer->write_reply_garble = -1;
}

int printer_model_set_device_id(struct printer_model *printer, const char *text, size_t length) {
    if (length > PRINTER_ID_MAX) {
        return 0;
    }
    copy_bytes(printer->device_id, text, length);
    printer->device_id_length = length;
    return 1;
}

size_t printer_model_device_id(const struct printer_model *printer, unsigned char *out,
                               size_t out_size, size_t *reported) {
    size_t total = printer->device_id_length + 2;
    unsigned char prefix[2];
    prefix[0] = (unsigned char)(total >> 8);
    prefix[1] = (unsigned char)total;
    size_t copied = total < out_size ? total : out_size;
    if (out != NULL) {
        copy_bytes(out, prefix, copied < 2 ? copied : 2);
        if (copied > 2) {
            copy_bytes(out + 2, printer->device_id, copied - 2);
        }
    }
    size_t count = printer->id_count >= 0 ? (size_t)printer->id_count : copied;
    *reported = count < out_size ? count : out_size;
    return copied;
}

size_t printer_model_setup_answer(unsigned char *out, size_t out_size) {
    static const unsigned char answer[8] = {'O', 'K', 0, 0, 0, 0, 0, 0};
    size_t count = out_size < sizeof(answer) ? out_size : sizeof(answer);
    if (out != NULL) {
        copy_bytes(out, answer, count);
    }
    return count;
}

int printer_model_write(struct printer_model *printer, const unsigned char *data, size_t offered,
                        size_t taken) {
    int is_read =
        offered == PRINTER_COMMAND_LENGTH && same_bytes(data, read_command, PRINTER_COMMAND_LENGTH);
    int is_write = offered == PRINTER_COMMAND_LENGTH + PRINTER_SERIAL_LENGTH &&
                   same_bytes(data, write_prefix, PRINTER_COMMAND_LENGTH);
    if (!is_read && !is_write) {
        return PRINTER_DATA;
    }
    if (taken != offered) {
        return PRINTER_ESCAPE;
    }
    unsigned char answer[PRINTER_ECHO_MAX + PRINTER_SERIAL_LENGTH];
    size_t length = 0;
    if (is_read) {
        if (printer->read_echo_length == 0) {
            copy_bytes(answer, read_command, PRINTER_COMMAND_LENGTH);
            length = PRINTER_COMMAND_LENGTH;
        } else {
            copy_bytes(answer, printer->read_echo, printer->read_echo_length);
            length = printer->read_echo_length;
        }
        copy_bytes(answer + length, printer->serial, PRINTER_SERIAL_LENGTH);
        length += PRINTER_SERIAL_LENGTH;
        queue_answer(printer, answer, length, printer->read_reply_length);
        return PRINTER_ESCAPE;
    }
    if (!printer->write_ignored) {
        copy_bytes(printer->serial, data + PRINTER_COMMAND_LENGTH, PRINTER_SERIAL_LENGTH);
        printer->stored = 1;
    }
    copy_bytes(answer, write_prefix, PRINTER_COMMAND_LENGTH);
    answer[PRINTER_COMMAND_LENGTH] = (unsigned char)printer->write_gap;
    copy_bytes(answer + PRINTER_COMMAND_LENGTH + 1, printer->serial, PRINTER_SERIAL_LENGTH);
    if (printer->write_reply_garble >= 0 && printer->write_reply_garble < PRINTER_SERIAL_LENGTH) {
        answer[PRINTER_COMMAND_LENGTH + 1 + printer->write_reply_garble] ^= 0x01;
    }
    queue_answer(printer, answer, PRINTER_COMMAND_LENGTH + 1 + PRINTER_SERIAL_LENGTH,
                 printer->write_reply_length);
    return PRINTER_ESCAPE;
}

int printer_model_read(struct printer_model *printer, unsigned char *out, size_t count,
                       size_t *done) {
    *done = 0;
    if (printer->queue_count == 0) {
        return PRINTER_READ_EMPTY;
    }
    const struct printer_packet *packet = &printer->queue[printer->queue_first];
    printer->queue_first = (printer->queue_first + 1) % PRINTER_QUEUE_MAX;
    printer->queue_count--;
    if (count < packet->length) {
        return PRINTER_READ_OVERFLOW;
    }
    copy_bytes(out, packet->bytes, packet->length);
    *done = packet->length;
    return PRINTER_READ_OK;
}

enum setting_key {
    KEY_DEVICE_ID,
    KEY_SERIAL,
    KEY_READ_ECHO,
    KEY_ID_COUNT,
    KEY_READ_REPLY_LENGTH,
    KEY_WRITE_REPLY_LENGTH,
    KEY_WRITE_GAP,
    KEY_WRITE_IGNORED,
    KEY_WRITE_GARBLE,
    KEY_COUNT
};

static const char *const setting_keys[KEY_COUNT] = {"device_id",
                                                    "serial",
                                                    "serial_read_echo",
                                                    "id_count",
                                                    "serial_read_reply_length",
                                                    "serial_write_reply_length",
                                                    "serial_write_gap",
                                                    "serial_write_ignored",
                                                    "serial_write_garble"};

/* The key's place in setting_keys, or KEY_COUNT. */
static int key_index(const char *key) {
    int i = 0;
    while (i < KEY_COUNT && !same_text(key, setting_keys[i])) {
        i++;
    }
    return i;
}

int printer_model_is_key(const char *key) {
    return key_index(key) < KEY_COUNT;
}

int printer_model_setting(struct printer_model *printer, const char *key, const char *value) {
    size_t length = text_length(value);
    int which = key_index(key);
    long n = 0;
    switch (which) {
    case KEY_COUNT:
        return PRINTER_SETTING_UNKNOWN;
    case KEY_DEVICE_ID:
        return printer_model_set_device_id(printer, value, length) ? PRINTER_SETTING_OK
                                                                   : PRINTER_SETTING_BAD;
    case KEY_SERIAL:
        if (length != PRINTER_SERIAL_LENGTH) {
            return PRINTER_SETTING_BAD;
        }
        copy_bytes(printer->serial, value, PRINTER_SERIAL_LENGTH);
        return PRINTER_SETTING_OK;
    case KEY_READ_ECHO:
        if (length > PRINTER_ECHO_MAX) {
            return PRINTER_SETTING_BAD;
        }
        /* A description line cannot hold ESC: a leading '^' stands for it. */
        copy_bytes(printer->read_echo, value, length);
        if (length > 0 && value[0] == '^') {
            printer->read_echo[0] = 0x1B;
        }
        printer->read_echo_length = length;
        return PRINTER_SETTING_OK;
    default:
        break;
    }
    if (!printer_model_number(value, &n)) {
        return PRINTER_SETTING_BAD;
    }
    switch (which) {
    case KEY_ID_COUNT:
        printer->id_count = n;
        break;
    case KEY_READ_REPLY_LENGTH:
        printer->read_reply_length = n;
        break;
    case KEY_WRITE_REPLY_LENGTH:
        printer->write_reply_length = n;
        break;
    case KEY_WRITE_GAP:
        printer->write_gap = (int)(n & 0xFF);
        break;
    case KEY_WRITE_IGNORED:
        printer->write_ignored = n != 0;
        break;
    default:
        printer->write_reply_garble = n < 0 || n >= PRINTER_SERIAL_LENGTH ? -1 : (int)n;
    }
    return PRINTER_SETTING_OK;
}

void printer_description_start(struct printer_description *reader, char *text, size_t length) {
    reader->next = text;
    reader->end = text + length;
    reader->line = 0;
    reader->nul_byte = 0;
}

int printer_description_line(struct printer_description *reader, char **key, char **value) {
    while (reader->next < reader->end) {
        char *line = reader->next;
        char *stop = line;
        while (stop < reader->end && *stop != '\n') {
            stop++;
        }
        reader->next = stop < reader->end ? stop + 1 : stop;
        reader->line++;
        if (stop > line && stop[-1] == '\r') {
            stop--;
        }
        *stop = '\0';
        if (stop == line || line[0] == '#') {
            continue;
        }
        *key = line;
        *value = NULL;
        reader->nul_byte = 0;
        for (char *p = line; p < stop; p++) {
            if (*p == '\0') {
                reader->nul_byte = 1;
                return 1;
            }
        }
        for (char *p = line; p < stop; p++) {
            if (*p == '=') {
                *p = '\0';
                *value = p + 1;
                break;
            }
        }
        return 1;
    }
    return 0;
}

size_t printer_model_save_state(const struct printer_model *printer, char *out, size_t out_size) {
    static const char key[] = "serial=";
    size_t n = 0;
    if (out_size < PRINTER_STATE_MAX) {
        return 0;
    }
    copy_bytes(out, key, sizeof(key) - 1);
    n = sizeof(key) - 1;
    for (size_t i = 0; i < PRINTER_SERIAL_LENGTH; i++) {
        unsigned char c = (unsigned char)printer->serial[i];
        if (c >= '!' && c <= '~' && c != '%') {
            out[n++] = (char)c;
        } else {
            out[n++] = '%';
            out[n++] = hex_digits[c >> 4];
            out[n++] = hex_digits[c & 0x0F];
        }
    }
    out[n++] = '\n';
    out[n] = '\0';
    return n;
}

int printer_model_load_state(struct printer_model *printer, const char *line, size_t length) {
    static const char key[] = "serial=";
    char serial[PRINTER_SERIAL_LENGTH];
    size_t got = 0;
    size_t i = sizeof(key) - 1;
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) {
        length--;
    }
    if (length < i || !same_bytes(line, key, i)) {
        return 0;
    }
    while (i < length) {
        unsigned char c = (unsigned char)line[i];
        if (got == PRINTER_SERIAL_LENGTH || c < '!' || c > '~') {
            return 0;
        }
        if (c == '%') {
            if (i + 2 >= length) {
                return 0;
            }
            int high = digit_value(line[i + 1]);
            int low = digit_value(line[i + 2]);
            if (high > 15 || low > 15) {
                return 0;
            }
            c = (unsigned char)(high * 16 + low);
            i += 3;
        } else {
            i++;
        }
        serial[got++] = (char)c;
    }
    if (got != PRINTER_SERIAL_LENGTH) {
        return 0;
    }
    copy_bytes(printer->serial, serial, PRINTER_SERIAL_LENGTH);
    return 1;
}
