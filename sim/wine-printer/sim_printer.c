// SPDX-License-Identifier: GPL-2.0-only
/* A simulated USB printer for the Windows build of prnfeed under wine: a
 * kernel-mode driver that wine's device host runs behind its real SetupAPI,
 * CreateFileA, DeviceIoControl, ReadFile and WriteFile. What the printer
 * answers and keeps is the printer model shared with the Windows-API
 * stand-in (printer_model.h); this file is only its host.
 *
 * Objects (the registry lists "\\.\SimPrinter0 " as the device path of one
 * interface of the USB printing class, and of the alternative class):
 *   \Device\SimPrinter0           the printer's device: device-ID requests
 *   \??\SimPrinter0               link to it; "\\.\SimPrinter0 " opens it,
 *                                 Windows path rules drop the final space
 *   \Device\SimPrinter0Pipes      object directory with PIPE00 and PIPE01
 *   \??\SimPrinter0<space>        link to that directory, so that
 *                                 "\\.\SimPrinter0 \PIPE00" keeps its space
 *                                 and reaches the pipe device
 * wine's server hands out no handle below a device object, which is why the
 * pipes live in a directory of their own.
 *
 * Files in the prefix, C:\sim-printer\:
 *   printer.txt        configuration, read afresh at every open of the
 *                      device (each run of the tool opens it once, first):
 *                      key=value lines (empty and '#' lines skipped), the
 *                      printer model's settings and
 *                        attached=0      the device does not open
 *                        stop_after=<n>  the printer takes n bytes of print
 *                                        data, then no more (the write that
 *                                        crosses n times out)
 *                        output=discard  print data is only counted
 *                        out_open_fail_from=1, in_open_fail_from=1
 *                                        that pipe does not open in this
 *                                        run (0: it does, the default)
 *                        output=keep     kept in received.bin (the default)
 *                        events=0        no event log
 *                      No file: no printer attached. A file of 8192 bytes
 *                      or more, a line without '=', an unknown key or a bad
 *                      value refuses the whole description, as the
 *                      Windows-API stand-in does: no printer attached, and
 *                      events.txt (written even with events=0) starts with
 *                      one line
 *                        refused printer.txt:<line>: unknown setting <key>
 *                        refused printer.txt:<line>: bad value for <key>: <value>
 *                        refused printer.txt:<line>: no '='
 *                        refused printer.txt:<line>: a NUL byte
 *                        refused printer.txt: 8192 bytes or more
 *   printer.txt.state  what the printer keeps (its serial number), in the
 *                      model's state format; written when a serial number is
 *                      stored, read at every open of the device
 *   received.bin       the print data of the run (not the escape commands)
 *   events.txt         one line per request the printer saw
 *   ready              written when the driver has made its devices
 *   taken.txt          the print-data bytes taken between an open and the
 *                      close of the output pipe, written at the close
 * received.bin and events.txt are created anew at every open of the device.
 *
 * wine's device host dispatches one request at a time, so the one printer
 * record needs no lock. */
#include <ntddk.h>

#include "printer_model.h"
#include "sim_helpers.h"

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path);

enum role { ROLE_DEVICE, ROLE_OUT_PIPE, ROLE_IN_PIPE };

static const WCHAR *const device_names[3] = {L"\\Device\\SimPrinter0",
                                             L"\\Device\\SimPrinter0Pipes\\PIPE00",
                                             L"\\Device\\SimPrinter0Pipes\\PIPE01"};
static const char *const role_names[3] = {"device", "out", "in"};

#define CONFIG_PATH L"\\??\\C:\\sim-printer\\printer.txt"
#define STATE_PATH L"\\??\\C:\\sim-printer\\printer.txt.state"
#define RECEIVED_PATH L"\\??\\C:\\sim-printer\\received.bin"
#define EVENTS_PATH L"\\??\\C:\\sim-printer\\events.txt"
#define READY_PATH L"\\??\\C:\\sim-printer\\ready"
#define TAKEN_PATH L"\\??\\C:\\sim-printer\\taken.txt"

enum { CONFIG_MAX = 8192 };

static struct printer_model printer;
static int attached;
static long long stop_after; /* -1: never stops */
/* A pipe that does not open in this run, indexed by role. */
static int pipe_absent[3];
static PDRIVER_OBJECT driver_object;
static PDEVICE_OBJECT device_objects[3]; /* NULL while a pipe is absent */
static long long data_taken;             /* print-data bytes taken since the output pipe opened */
static int keep_data;
static int log_events;
static HANDLE received_file;
static HANDLE events_file;
static char config_text[CONFIG_MAX + 1];

static void log_line(struct line *line) {
    if (log_events) {
        line->text[line->length++] = '\n';
        sim_write_file(events_file, line->text, line->length);
    }
}

static void log_simple(const char *what, enum role role) {
    struct line line = {{0}, 0};
    sim_add_text(&line, what);
    sim_add_text(&line, role_names[role]);
    log_line(&line);
}

/* The settings of the driver itself; anything else goes to the model.
 * Returns a PRINTER_SETTING_ result. */
static int apply_setting(const char *key, const char *value) {
    long n = 0;
    int result = printer_model_setting(&printer, key, value);
    if (result != PRINTER_SETTING_UNKNOWN) {
        return result;
    }
    if (sim_same_text(key, "output")) {
        if (!sim_same_text(value, "discard") && !sim_same_text(value, "keep")) {
            return PRINTER_SETTING_BAD;
        }
        keep_data = sim_same_text(value, "keep");
        return PRINTER_SETTING_OK;
    }
    if (!sim_same_text(key, "attached") && !sim_same_text(key, "stop_after") &&
        !sim_same_text(key, "events") && !sim_same_text(key, "out_open_fail_from") &&
        !sim_same_text(key, "in_open_fail_from")) {
        return PRINTER_SETTING_UNKNOWN;
    }
    if (!printer_model_number(value, &n)) {
        return PRINTER_SETTING_BAD;
    }
    /* Only "from the first open" (or never) can be had under wine. */
    if (sim_same_text(key, "out_open_fail_from") || sim_same_text(key, "in_open_fail_from")) {
        if (n != 0 && n != 1) {
            return PRINTER_SETTING_BAD;
        }
        pipe_absent[key[0] == 'o' ? ROLE_OUT_PIPE : ROLE_IN_PIPE] = (int)n;
        return PRINTER_SETTING_OK;
    }
    if (sim_same_text(key, "attached")) {
        attached = n != 0;
    } else if (sim_same_text(key, "stop_after")) {
        stop_after = n;
    } else {
        log_events = n != 0;
    }
    return PRINTER_SETTING_OK;
}

/* The printer as no description set it up, not attached. */
static void set_defaults(void) {
    printer_model_init(&printer);
    attached = 0;
    stop_after = -1;
    pipe_absent[ROLE_OUT_PIPE] = pipe_absent[ROLE_IN_PIPE] = 0;
    keep_data = 1;
    log_events = 1;
}

/* Applies the lines of printer.txt (in config_text, `length` bytes). Returns
 * 1, or 0 with the reason of the refusal in *why. */
static int apply_configuration(long length, struct line *why) {
    struct printer_description reader;
    char *key = NULL;
    char *value = NULL;
    sim_add_text(why, "refused printer.txt");
    if (length >= CONFIG_MAX) {
        sim_add_text(why, ": 8192 bytes or more");
        return 0;
    }
    printer_description_start(&reader, config_text, (size_t)length);
    while (printer_description_line(&reader, &key, &value)) {
        int result = value == NULL ? PRINTER_SETTING_BAD : apply_setting(key, value);
        if (result == PRINTER_SETTING_OK) {
            continue;
        }
        sim_add_text(why, ":");
        sim_add_number(why, reader.line, 10);
        if (value == NULL) {
            sim_add_text(why, reader.nul_byte ? ": a NUL byte" : ": no '='");
        } else if (result == PRINTER_SETTING_UNKNOWN) {
            sim_add_text(why, ": unknown setting ");
            sim_add_text(why, key);
        } else {
            sim_add_text(why, ": bad value for ");
            sim_add_text(why, key);
            sim_add_text(why, ": ");
            sim_add_text(why, value);
        }
        return 0;
    }
    return 1;
}

/* A fresh printer as printer.txt and printer.txt.state describe it, with
 * fresh output files. A refused description leaves no printer attached. */
static void load_configuration(void) {
    struct line why = {{0}, 0};
    int refused = 0;
    long length;
    set_defaults();
    sim_close_file(&received_file);
    sim_close_file(&events_file);

    length = sim_read_small_file(CONFIG_PATH, config_text, sizeof(config_text));
    if (length >= 0) {
        attached = 1;
        refused = !apply_configuration(length, &why);
    }
    if (refused) {
        set_defaults();
    }
    if (attached) {
        length = sim_read_small_file(STATE_PATH, config_text, sizeof(config_text));
        if (length > 0) {
            long end = 0;
            while (end < length && config_text[end] != '\n') {
                end++;
            }
            printer_model_load_state(&printer, config_text, (size_t)end);
        }
    }
    if (keep_data) {
        received_file = sim_open_file(RECEIVED_PATH, GENERIC_WRITE, FILE_OVERWRITE_IF);
    }
    if (log_events) {
        events_file = sim_open_file(EVENTS_PATH, GENERIC_WRITE, FILE_OVERWRITE_IF);
    }
    if (refused) {
        log_line(&why);
    }
}

static NTSTATUS create_device(PDRIVER_OBJECT driver, enum role role);

/* A pipe that does not open is taken away for the run, so that its open
 * fails before it reaches the driver, as on Windows: wine hands out the
 * handle before the driver answers the open, and a refused open would still
 * give the tool a handle. The pipe is back at the next run that wants it. */
static void place_pipes(void) {
    int role;
    for (role = ROLE_OUT_PIPE; role <= ROLE_IN_PIPE; role++) {
        if (pipe_absent[role] && device_objects[role] != NULL) {
            IoDeleteDevice(device_objects[role]);
            device_objects[role] = NULL;
            log_simple("absent ", (enum role)role);
        } else if (!pipe_absent[role] && device_objects[role] == NULL) {
            create_device(driver_object, (enum role)role);
        }
    }
}

static void store_state(void) {
    char text[PRINTER_STATE_MAX];
    size_t length = printer_model_save_state(&printer, text, sizeof(text));
    HANDLE handle = sim_open_file(STATE_PATH, GENERIC_WRITE, FILE_OVERWRITE_IF);
    sim_write_file(handle, text, (ULONG)length);
    sim_close_file(&handle);
}

static NTSTATUS finish(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static enum role role_of(PDEVICE_OBJECT device) {
    return *(enum role *)device->DeviceExtension;
}

/* wine's server may hand out the handle before the driver answered the
 * open, so a printer that is not attached also fails every request. */
static NTSTATUS NTAPI dispatch_create(PDEVICE_OBJECT device, PIRP irp) {
    enum role role = role_of(device);
    if (role == ROLE_DEVICE) {
        load_configuration();
        place_pipes();
    }
    if (!attached) {
        log_simple("refused open ", role);
        return finish(irp, STATUS_NO_SUCH_DEVICE, 0);
    }
    if (role == ROLE_OUT_PIPE) {
        data_taken = 0;
    }
    log_simple("open ", role);
    return finish(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI dispatch_close(PDEVICE_OBJECT device, PIRP irp) {
    enum role role = role_of(device);
    if (IoGetCurrentIrpStackLocation(irp)->MajorFunction != IRP_MJ_CLOSE) {
        return finish(irp, STATUS_SUCCESS, 0);
    }
    if (role == ROLE_OUT_PIPE) {
        struct line line = {{0}, 0};
        HANDLE handle = sim_open_file(TAKEN_PATH, GENERIC_WRITE, FILE_OVERWRITE_IF);
        sim_add_number(&line, (unsigned long)data_taken, 10);
        line.text[line.length++] = '\n';
        sim_write_file(handle, line.text, line.length);
        sim_close_file(&handle);
    }
    log_simple("close ", role);
    return finish(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI dispatch_control(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    ULONG out_size = stack->Parameters.DeviceIoControl.OutputBufferLength;
    unsigned char *buffer = (unsigned char *)irp->AssociatedIrp.SystemBuffer;
    struct line line = {{0}, 0};
    size_t reported = 0;
    NTSTATUS status = STATUS_SUCCESS;

    if (!attached) {
        status = STATUS_DEVICE_NOT_CONNECTED;
    } else if (role_of(device) != ROLE_DEVICE) {
        status = STATUS_INVALID_DEVICE_REQUEST;
    } else if (code == PRINTER_IOCTL_USBPRINT_DEVICE_ID || code == PRINTER_IOCTL_ALT_DEVICE_ID) {
        printer_model_device_id(&printer, buffer, out_size, &reported);
    } else if (code == PRINTER_IOCTL_ALT_SETUP) {
        reported = printer_model_setup_answer(buffer, out_size);
    } else {
        status = STATUS_INVALID_DEVICE_REQUEST;
    }
    sim_add_text(&line, "ioctl 0x");
    sim_add_number(&line, code, 16);
    sim_add_text(&line, NT_SUCCESS(status) ? " -> " : " refused");
    if (NT_SUCCESS(status)) {
        sim_add_number(&line, (unsigned long)reported, 10);
    }
    log_line(&line);
    return finish(irp, status, NT_SUCCESS(status) ? reported : 0);
}

static NTSTATUS NTAPI dispatch_write(PDEVICE_OBJECT device, PIRP irp) {
    ULONG length = IoGetCurrentIrpStackLocation(irp)->Parameters.Write.Length;
    const unsigned char *data = (const unsigned char *)irp->AssociatedIrp.SystemBuffer;
    struct line line = {{0}, 0};
    ULONG taken = length;
    int kind;

    if (!attached || role_of(device) != ROLE_OUT_PIPE) {
        return finish(irp, attached ? STATUS_INVALID_DEVICE_REQUEST : STATUS_DEVICE_NOT_CONNECTED,
                      0);
    }
    kind = printer_model_write(&printer, data, length, length);
    if (kind == PRINTER_ESCAPE) {
        if (printer.stored) {
            store_state();
        }
    } else {
        if (stop_after >= 0 && data_taken + length > stop_after) {
            taken = (ULONG)(stop_after - data_taken);
        }
        data_taken += taken;
        if (keep_data) {
            sim_write_file(received_file, data, taken);
        }
    }
    if (log_events) {
        sim_add_text(&line, "write out ");
        sim_add_number(&line, length, 10);
        if (kind == PRINTER_ESCAPE) {
            sim_add_text(&line, " command");
        }
        if (taken != length) {
            sim_add_text(&line, " took ");
            sim_add_number(&line, taken, 10);
        }
        log_line(&line);
    }
    /* A printer that stopped taking data: the write times out. */
    return finish(irp, taken == length ? STATUS_SUCCESS : STATUS_IO_TIMEOUT, taken);
}

static NTSTATUS NTAPI dispatch_read(PDEVICE_OBJECT device, PIRP irp) {
    ULONG length = IoGetCurrentIrpStackLocation(irp)->Parameters.Read.Length;
    struct line line = {{0}, 0};
    size_t done = 0;
    int result;
    NTSTATUS status;

    if (!attached || role_of(device) != ROLE_IN_PIPE) {
        return finish(irp, attached ? STATUS_INVALID_DEVICE_REQUEST : STATUS_DEVICE_NOT_CONNECTED,
                      0);
    }
    result = printer_model_read(&printer, (unsigned char *)irp->AssociatedIrp.SystemBuffer, length,
                                &done);
    /* An answer longer than the read is a packet that overflows it; no
     * answer at all is the USB driver's time-out. */
    status = result == PRINTER_READ_OK         ? STATUS_SUCCESS
             : result == PRINTER_READ_OVERFLOW ? STATUS_UNSUCCESSFUL
                                               : STATUS_IO_TIMEOUT;
    sim_add_text(&line, "read in ");
    sim_add_number(&line, length, 10);
    sim_add_text(&line, result == PRINTER_READ_OK         ? " -> "
                        : result == PRINTER_READ_OVERFLOW ? " overflow"
                                                          : " nothing");
    if (result == PRINTER_READ_OK) {
        sim_add_number(&line, (unsigned long)done, 10);
    }
    log_line(&line);
    return finish(irp, status, done);
}

static NTSTATUS create_device(PDRIVER_OBJECT driver, enum role role) {
    UNICODE_STRING name;
    PDEVICE_OBJECT device = NULL;
    NTSTATUS status;
    RtlInitUnicodeString(&name, device_names[role]);
    status =
        IoCreateDevice(driver, sizeof(enum role), &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    *(enum role *)device->DeviceExtension = role;
    device->Flags |= DO_BUFFERED_IO;
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    device_objects[role] = device;
    return STATUS_SUCCESS;
}

static NTSTATUS create_link(const WCHAR *link, const WCHAR *target) {
    UNICODE_STRING link_name;
    UNICODE_STRING target_name;
    RtlInitUnicodeString(&link_name, link);
    RtlInitUnicodeString(&target_name, target);
    return IoCreateSymbolicLink(&link_name, &target_name);
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path) {
    UNICODE_STRING directory_name;
    OBJECT_ATTRIBUTES attributes;
    HANDLE directory = NULL;
    NTSTATUS status;
    (void)registry_path;

    printer_model_init(&printer);
    driver_object = driver;
    driver->MajorFunction[IRP_MJ_CREATE] = dispatch_create;
    driver->MajorFunction[IRP_MJ_CLOSE] = dispatch_close;
    driver->MajorFunction[IRP_MJ_CLEANUP] = dispatch_close;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_control;
    driver->MajorFunction[IRP_MJ_WRITE] = dispatch_write;
    driver->MajorFunction[IRP_MJ_READ] = dispatch_read;

    status = create_device(driver, ROLE_DEVICE);
    if (NT_SUCCESS(status)) {
        status = create_link(L"\\??\\SimPrinter0", device_names[ROLE_DEVICE]);
    }
    if (NT_SUCCESS(status)) {
        RtlInitUnicodeString(&directory_name, L"\\Device\\SimPrinter0Pipes");
        InitializeObjectAttributes(&attributes, &directory_name,
                                   OBJ_CASE_INSENSITIVE | OBJ_PERMANENT | OBJ_KERNEL_HANDLE, NULL,
                                   NULL);
        status = ZwCreateDirectoryObject(&directory, DIRECTORY_ALL_ACCESS, &attributes);
        if (NT_SUCCESS(status)) {
            ZwClose(directory); /* permanent: it stays without a handle */
        }
    }
    if (NT_SUCCESS(status)) {
        status = create_device(driver, ROLE_OUT_PIPE);
    }
    if (NT_SUCCESS(status)) {
        status = create_device(driver, ROLE_IN_PIPE);
    }
    if (NT_SUCCESS(status)) {
        status = create_link(L"\\??\\SimPrinter0 ", L"\\Device\\SimPrinter0Pipes");
    }
    if (NT_SUCCESS(status)) {
        HANDLE ready = sim_open_file(READY_PATH, GENERIC_WRITE, FILE_OVERWRITE_IF);
        sim_write_file(ready, "ready\n", 6);
        sim_close_file(&ready);
    }
    return status;
}
