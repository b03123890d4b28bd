// SPDX-License-Identifier: GPL-2.0-only
// IEEE 1284 device ID of the printer and the printer name taken from it.
#include <windows.h>
#include <string.h>

#include "prnfeed.h"

// {28D78FAD-5A12-11D1-AE5B-0000F803A8C2}
const GUID GUID_DEVINTERFACE_USBPRINT = {
    0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};
// {76F4B720-F62F-11D1-9C52-000083612AA1}
const GUID alt_print_interface_guid = {
    0x76F4B720, 0xF62F, 0x11D1, {0x9C, 0x52, 0x00, 0x00, 0x83, 0x61, 0x2A, 0xA1}};

namespace {

enum { DEVICE_ID_REPLY_SIZE = 4096, REQUEST_INPUT_SIZE = 8, ALT_SETUP_REPLY_SIZE = 8 };
// What the alternative driver's set-up request carries, with its NUL; the
// request input's remaining bytes stay zero.
const char ALT_SETUP_TEXT[] = "20000";
// The reply starts with a 2-byte length prefix; the text follows.
enum { REPLY_PREFIX_SIZE = 2 };
// At most this many reply text bytes are taken, the last of them becoming
// the terminator.
enum { MAX_TEXT_BYTES = 255 };

} // namespace

int read_device_id(char *text) {
    char input[REQUEST_INPUT_SIZE];
    char reply[DEVICE_ID_REPLY_SIZE];
    memset(input, 0, sizeof(input));
    // Cleared, so that a driver that reports more bytes than it filled
    // gives a text that ends where its reply ends.
    memset(reply, 0, sizeof(reply));
    DWORD request = IOCTL_USBPRINT_GET_1284_ID;
    HANDLE device;

    if (is_nt5_or_later()) {
        device = open_first_interface(&GUID_DEVINTERFACE_USBPRINT);
        if (device == INVALID_HANDLE_VALUE) {
            return 0;
        }
    } else {
        device = open_first_interface(&alt_print_interface_guid);
        if (device != INVALID_HANDLE_VALUE) {
            // The alternative driver wants its set-up request first; its
            // outcome does not decide anything.
            memcpy(input, ALT_SETUP_TEXT, sizeof(ALT_SETUP_TEXT));
            DWORD setup_count = 0;
            DeviceIoControl(device, alt_setup_request, input, REQUEST_INPUT_SIZE, reply,
                            ALT_SETUP_REPLY_SIZE, &setup_count, NULL);
            request = alt_device_id_request;
        } else {
            device = open_first_interface(&GUID_DEVINTERFACE_USBPRINT);
            if (device == INVALID_HANDLE_VALUE) {
                return 0;
            }
        }
    }

    DWORD count = 0;
    if (!DeviceIoControl(device, request, input, REQUEST_INPUT_SIZE, reply, DEVICE_ID_REPLY_SIZE,
                         &count, NULL)) {
        CloseHandle(device);
        return 0;
    }
    CloseHandle(device);

    // A reply with no text byte gives the empty text; a driver that reports
    // more than the buffer holds is held to the buffer.
    if (count > DEVICE_ID_REPLY_SIZE) {
        count = DEVICE_ID_REPLY_SIZE;
    }
    if (count <= REPLY_PREFIX_SIZE) {
        text[0] = '\0';
        return 1;
    }
    DWORD n = count - REPLY_PREFIX_SIZE;
    if (n >= MAX_TEXT_BYTES) {
        n = MAX_TEXT_BYTES;
    }
    reply[REPLY_PREFIX_SIZE + n - 1] = '\0';
    memcpy(text, reply + REPLY_PREFIX_SIZE, n);
    return 1;
}

void make_printable(char *text) {
    for (char *p = text; *p != '\0'; p++) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7F) {
            *p = '?';
        }
    }
}

int get_printer_name(char *name) {
    char text[DEVICE_ID_REPLY_SIZE];
    if (!read_device_id(text)) {
        return 0;
    }

    // The name is the value of the second field: what follows the second
    // ':' up to the next ';' or the end of the text.
    size_t i = 0;
    while (text[i] != '\0' && text[i] != ':') {
        i++;
    }
    if (text[i] == ':') {
        i++;
        while (text[i] != '\0' && text[i] != ':') {
            i++;
        }
        if (text[i] == ':') {
            i++;
        }
    }
    size_t length = 0;
    while (text[i] != '\0' && text[i] != ';') {
        name[length++] = text[i++];
    }
    name[length] = '\0';
    return 1;
}
