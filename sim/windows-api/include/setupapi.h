// SPDX-License-Identifier: GPL-2.0-only
// Stand-in for the device-interface part of SetupAPI that prnfeed uses.
// The records have their 32-bit layout: SP_DEVICE_INTERFACE_DATA is 28 bytes
// and the fixed part of the detail record is 5 bytes, on any host.
#ifndef WIN_STANDIN_SETUPAPI_H
#define WIN_STANDIN_SETUPAPI_H

#include <windows.h>

typedef void *HDEVINFO;

#define DIGCF_DEFAULT 0x01
#define DIGCF_PRESENT 0x02
#define DIGCF_ALLCLASSES 0x04
#define DIGCF_PROFILE 0x08
#define DIGCF_DEVICEINTERFACE 0x10

#define SPINT_ACTIVE 0x1

typedef struct _SP_DEVINFO_DATA SP_DEVINFO_DATA, *PSP_DEVINFO_DATA;

typedef struct _SP_DEVICE_INTERFACE_DATA {
    DWORD cbSize;
    GUID InterfaceClassGuid;
    DWORD Flags;
    DWORD Reserved; // pointer-sized on the platform; 32 bits in a 32-bit build
} SP_DEVICE_INTERFACE_DATA, *PSP_DEVICE_INTERFACE_DATA;

#pragma pack(push, 1)
typedef struct _SP_DEVICE_INTERFACE_DETAIL_DATA_A {
    DWORD cbSize;
    CHAR DevicePath[1];
} SP_DEVICE_INTERFACE_DETAIL_DATA_A, *PSP_DEVICE_INTERFACE_DETAIL_DATA_A;
#pragma pack(pop)

#ifdef __cplusplus
extern "C" {
#endif

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID *class_guid, PCSTR enumerator, HWND parent,
                                     DWORD flags);
BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA device,
                                        const GUID *class_guid, DWORD index,
                                        PSP_DEVICE_INTERFACE_DATA interface_data);
BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interface_data,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail,
                                             DWORD detail_size, PDWORD required_size,
                                             PSP_DEVINFO_DATA device);
BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set);

#ifdef __cplusplus
}
#endif

#endif
