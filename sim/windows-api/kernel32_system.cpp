// SPDX-License-Identifier: GPL-2.0-only
// kernel32: the last error, the Windows version, the module path, the local
// time and Sleep (recorded, not slept).
#include "internal.h"

#include <cstring>

using namespace standin;

namespace {

const struct {
    DWORD platform, major, minor, build;
} version_table[] = {
    {VER_PLATFORM_WIN32_WINDOWS, 4, 0, 950},   // 95
    {VER_PLATFORM_WIN32_WINDOWS, 4, 10, 1998}, // 98
    {VER_PLATFORM_WIN32_WINDOWS, 4, 90, 3000}, // Me
    {VER_PLATFORM_WIN32_NT, 4, 0, 1381},       // NT 4.0
    {VER_PLATFORM_WIN32_NT, 5, 0, 2195},       // 2000
    {VER_PLATFORM_WIN32_NT, 5, 1, 2600},       // XP
    {VER_PLATFORM_WIN32_NT, 6, 0, 6000},       // Vista
};

} // namespace

extern "C" {

DWORD WINAPI GetLastError(void) {
    return internal().last_error;
}

void WINAPI SetLastError(DWORD error) {
    internal().last_error = error;
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    System &s = sys();
    DWORD size = info->dwOSVersionInfoSize;
    std::string args = "size=" + std::to_string(size);
    // The plain record is 148 bytes, the extended one 156.
    if (size != 148 && size != 156) {
        log_call("GetVersionExA", args, "FALSE");
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    if (s.version_fails) {
        log_call("GetVersionExA", args, "FALSE");
        return fail(ERROR_GEN_FAILURE);
    }
    const auto &v = version_table[static_cast<int>(s.version)];
    info->dwPlatformId = v.platform;
    info->dwMajorVersion = v.major;
    info->dwMinorVersion = v.minor;
    info->dwBuildNumber = v.build;
    std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
    log_call("GetVersionExA", args,
             "TRUE " + std::to_string(v.platform) + " " + std::to_string(v.major) + "." +
                 std::to_string(v.minor));
    return TRUE;
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR path, DWORD size) {
    const std::string &name = sys().module_path;
    std::string args =
        (module == nullptr ? "NULL" : "module") + std::string(", ") + std::to_string(size);
    if (name.size() < size) {
        std::memcpy(path, name.c_str(), name.size() + 1);
        log_call("GetModuleFileNameA", args, std::to_string(name.size()));
        return static_cast<DWORD>(name.size());
    }
    if (size == 0) {
        log_call("GetModuleFileNameA", args, "0");
        fail(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // Cut path: before version 6 it comes back without its terminator.
    if (sys().version >= Version::vista) {
        std::memcpy(path, name.data(), size - 1);
        path[size - 1] = '\0';
    } else {
        std::memcpy(path, name.data(), size);
    }
    fail(ERROR_INSUFFICIENT_BUFFER);
    log_call("GetModuleFileNameA", args, std::to_string(size));
    return size;
}

void WINAPI GetLocalTime(LPSYSTEMTIME time) {
    *time = sys().local_time;
    log_call("GetLocalTime", "", "");
}

void WINAPI Sleep(DWORD milliseconds) {
    sys().sleeps.push_back(milliseconds);
    log_call("Sleep", std::to_string(milliseconds), "");
}

} // extern "C"
