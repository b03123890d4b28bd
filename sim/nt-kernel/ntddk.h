// SPDX-License-Identifier: GPL-2.0-only
/* The few Windows kernel declarations the simulated printer's driver uses,
 * for building it on the host against the test's own implementation
 * (driver_test.cpp): devices and links are recorded, files in
 * \??\C:\sim-printer\ are host files in a directory of the test. */
#ifndef NT_STANDIN_NTDDK_H
#define NT_STANDIN_NTDDK_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

#define NTAPI
typedef int32_t NTSTATUS;
typedef uint32_t ULONG;
typedef uintptr_t ULONG_PTR;
typedef uint32_t ACCESS_MASK;
typedef void *PVOID;
typedef void *HANDLE;
typedef wchar_t WCHAR;
typedef unsigned char BOOLEAN;
#define FALSE 0
#define NT_SUCCESS(status) ((NTSTATUS)(status) >= 0)

#define STATUS_SUCCESS ((NTSTATUS)0x00000000)
#define STATUS_UNSUCCESSFUL ((NTSTATUS)0xC0000001)
#define STATUS_END_OF_FILE ((NTSTATUS)0xC0000011)
#define STATUS_OBJECT_NAME_NOT_FOUND ((NTSTATUS)0xC0000034)
#define STATUS_NO_SUCH_DEVICE ((NTSTATUS)0xC000000E)
#define STATUS_INVALID_DEVICE_REQUEST ((NTSTATUS)0xC0000010)
#define STATUS_IO_TIMEOUT ((NTSTATUS)0xC00000B5)
#define STATUS_DEVICE_NOT_CONNECTED ((NTSTATUS)0xC000009D)

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define SYNCHRONIZE 0x00100000u
#define DIRECTORY_ALL_ACCESS 0x000F000Fu
#define FILE_ATTRIBUTE_NORMAL 0x80u
#define FILE_SHARE_READ 1u
#define FILE_SHARE_WRITE 2u
#define FILE_SHARE_DELETE 4u
#define FILE_OPEN 1u
#define FILE_OVERWRITE_IF 5u
#define FILE_SYNCHRONOUS_IO_NONALERT 0x20u
#define FILE_NON_DIRECTORY_FILE 0x40u
#define OBJ_CASE_INSENSITIVE 0x40u
#define OBJ_PERMANENT 0x10u
#define OBJ_KERNEL_HANDLE 0x200u
#define FILE_DEVICE_UNKNOWN 0x22u
#define DO_BUFFERED_IO 0x4u
#define DO_DEVICE_INITIALIZING 0x80u
#define IO_NO_INCREMENT 0

enum {
    IRP_MJ_CREATE = 0,
    IRP_MJ_CLOSE = 2,
    IRP_MJ_READ = 3,
    IRP_MJ_WRITE = 4,
    IRP_MJ_DEVICE_CONTROL = 14,
    IRP_MJ_CLEANUP = 18,
    IRP_MJ_COUNT = 28
};

typedef struct {
    uint16_t Length;
    uint16_t MaximumLength;
    const WCHAR *Buffer;
} UNICODE_STRING, *PUNICODE_STRING;

typedef struct {
    PUNICODE_STRING ObjectName;
    ULONG Attributes;
} OBJECT_ATTRIBUTES;
#define InitializeObjectAttributes(p, name, attributes, root, security)                            \
    ((p)->ObjectName = (name), (p)->Attributes = (attributes), (void)(root), (void)(security))

typedef struct {
    NTSTATUS Status;
    ULONG_PTR Information;
} IO_STATUS_BLOCK;

typedef struct {
    unsigned char MajorFunction;
    union {
        struct {
            ULONG Length;
        } Read, Write;
        struct {
            ULONG OutputBufferLength;
            ULONG InputBufferLength;
            ULONG IoControlCode;
        } DeviceIoControl;
    } Parameters;
} IO_STACK_LOCATION, *PIO_STACK_LOCATION;

typedef struct {
    IO_STATUS_BLOCK IoStatus;
    struct {
        PVOID SystemBuffer;
    } AssociatedIrp;
    PIO_STACK_LOCATION stack;
    int completed;
} IRP, *PIRP;

typedef struct DEVICE_OBJECT {
    PVOID DeviceExtension;
    ULONG Flags;
} DEVICE_OBJECT, *PDEVICE_OBJECT;

typedef NTSTATUS(NTAPI *PDRIVER_DISPATCH)(PDEVICE_OBJECT, PIRP);
typedef struct {
    PDRIVER_DISPATCH MajorFunction[IRP_MJ_COUNT];
} DRIVER_OBJECT, *PDRIVER_OBJECT;

static inline PIO_STACK_LOCATION IoGetCurrentIrpStackLocation(PIRP irp) {
    return irp->stack;
}
#define RtlCopyMemory(to, from, n) memcpy((to), (from), (n))
void *memcpy(void *to, const void *from, size_t n);

void RtlInitUnicodeString(PUNICODE_STRING string, const WCHAR *text);
NTSTATUS IoCreateDevice(PDRIVER_OBJECT driver, ULONG extension_size, PUNICODE_STRING name,
                        ULONG type, ULONG characteristics, BOOLEAN exclusive,
                        PDEVICE_OBJECT *device);
void IoDeleteDevice(PDEVICE_OBJECT device);
NTSTATUS IoCreateSymbolicLink(PUNICODE_STRING link, PUNICODE_STRING target);
NTSTATUS ZwCreateDirectoryObject(HANDLE *directory, ACCESS_MASK access,
                                 OBJECT_ATTRIBUTES *attributes);
NTSTATUS ZwCreateFile(HANDLE *file, ACCESS_MASK access, OBJECT_ATTRIBUTES *attributes,
                      IO_STATUS_BLOCK *io, void *allocation_size, ULONG file_attributes,
                      ULONG share, ULONG disposition, ULONG options, PVOID ea, ULONG ea_length);
NTSTATUS ZwReadFile(HANDLE file, HANDLE event, void *apc, PVOID context, IO_STATUS_BLOCK *io,
                    PVOID buffer, ULONG length, void *offset, ULONG *key);
NTSTATUS ZwWriteFile(HANDLE file, HANDLE event, void *apc, PVOID context, IO_STATUS_BLOCK *io,
                     PVOID buffer, ULONG length, void *offset, ULONG *key);
NTSTATUS ZwClose(HANDLE handle);
void IoCompleteRequest(PIRP irp, int boost);

#ifdef __cplusplus
}
#endif

#endif
