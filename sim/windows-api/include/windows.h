// SPDX-License-Identifier: GPL-2.0-only
// Stand-in for the parts of the Windows API that prnfeed uses, for building
// and testing it on a POSIX host. Types and records have the layout of the
// 32-bit platform where the program relies on it; the functions are
// implemented by the simulated system in win-standin (see standin.h).
#ifndef WIN_STANDIN_WINDOWS_H
#define WIN_STANDIN_WINDOWS_H

#include <stddef.h>
#include <stdint.h>

#define WINAPI

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD; // 32 bits, as on Windows
typedef unsigned int UINT;
typedef int32_t LONG;
typedef char CHAR;
typedef size_t SIZE_T;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef void *HANDLE;
typedef void *HGLOBAL;
typedef void *HMODULE;
typedef void *HWND;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef DWORD *LPDWORD;
typedef DWORD *PDWORD;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef const char *PCSTR;

#define TRUE 1
#define FALSE 0

typedef struct _GUID {
    uint32_t Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
} GUID;

typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;
typedef struct _SECURITY_ATTRIBUTES SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct _OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA, *LPOSVERSIONINFOA;

typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *LPSYSTEMTIME;

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_NORMAL 0x80

#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GMEM_DDESHARE 0x2000

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

#define ERROR_SUCCESS 0
#define NO_ERROR 0
#define ERROR_INVALID_FUNCTION 1
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_NOT_READY 21
#define ERROR_GEN_FAILURE 31
#define ERROR_SHARING_VIOLATION 32
#define ERROR_INVALID_PARAMETER 87
#define ERROR_SEM_TIMEOUT 121
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_NO_MORE_ITEMS 259
#define ERROR_DEVICE_NOT_CONNECTED 1167
#define ERROR_INVALID_USER_BUFFER 1784

#ifdef __cplusplus
extern "C" {
#endif

DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD error);

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info);
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR path, DWORD size);
void WINAPI GetLocalTime(LPSYSTEMTIME time);
void WINAPI Sleep(DWORD milliseconds);

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD share_mode,
                          LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                          HANDLE template_file);
BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD done,
                     LPOVERLAPPED overlapped);
BOOL WINAPI WriteFile(HANDLE handle, LPCVOID data, DWORD count, LPDWORD done,
                      LPOVERLAPPED overlapped);
DWORD WINAPI GetFileSize(HANDLE handle, LPDWORD size_high);
BOOL WINAPI CloseHandle(HANDLE handle);
BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD input_size,
                            LPVOID output, DWORD output_size, LPDWORD returned,
                            LPOVERLAPPED overlapped);

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);
LPVOID WINAPI GlobalLock(HGLOBAL block);
BOOL WINAPI GlobalUnlock(HGLOBAL block);
HGLOBAL WINAPI GlobalFree(HGLOBAL block);

#ifdef __cplusplus
}
#endif

#endif
