// SPDX-License-Identifier: GPL-2.0-only
// What a user program's ioctl(fd, cmd, arg) on a node of a character major
// reaches in the stand-in kernel, for the kernel generation the caller is
// built for (the tolvex_mod_<generation> target it links): first the
// kernel's generic ioctl layer, which answers some codes itself and never
// hands them to the driver, then the driver's handler slot.
#pragma once

#include "include/linux/version.h"
#include "kstandin.h"

#include <cerrno>

namespace kstandin {

// Codes of the generic layer (the same numbers on the board's ARM EABI and
// on x86).
constexpr unsigned kFIGETBSZ = 2;
constexpr unsigned kFIONBIO = 0x5421;
constexpr unsigned kFIONCLEX = 0x5450;
constexpr unsigned kFIOCLEX = 0x5451;
constexpr unsigned kFIOASYNC = 0x5452;
constexpr unsigned kFIOQSIZE = 0x5460;
constexpr unsigned kFIFREEZE = 0xC0045877;
constexpr unsigned kFITHAW = 0xC0045878;
constexpr unsigned kFS_IOC_FIEMAP = 0xC020660B;
constexpr unsigned kFICLONE = 0x40049409;
constexpr unsigned kFICLONERANGE = 0x4020940D;
constexpr unsigned kFIDEDUPERANGE = 0xC0189436;
// Block size of the file system that holds the device nodes (a page).
constexpr int kNodeBlockSize = 4096;

// The generic layer for a character device node opened without O_ASYNC and
// whose driver has no fasync entry, called by root. True, with the result,
// when it answers the code itself; false when it hands the code on to the
// driver.
inline bool generic_ioctl(unsigned cmd, unsigned long arg, file &f, long &result) {
    int on = 0;
    switch (cmd) {
    case kFIOCLEX:
    case kFIONCLEX: // the descriptor's close-on-exec flag
        result = 0;
        return true;
    case kFIONBIO: // non-blocking flag from the int at arg
        result = get_user_int(on, arg);
        if (result == 0)
            f.f_flags = on ? f.f_flags | 04000 : f.f_flags & ~04000u;
        return true;
    case kFIOASYNC: // switching it on needs the driver's fasync entry
        result = get_user_int(on, arg);
        if (result == 0 && on)
            result = -ENOTTY;
        return true;
    case kFIOQSIZE: // sizes of directories, regular files and links only
        result = -ENOTTY;
        return true;
    }
#if LINUX_VERSION_CODE >= KERNEL_VERSION(2, 6, 36)
    // A current kernel also answers these for every kind of file; 2.6.21
    // answers them for regular files only and hands them to a device's
    // driver.
    switch (cmd) {
    case kFIGETBSZ: // the block size, put to the int at arg
        result = put_user_int(kNodeBlockSize, arg);
        return true;
    case kFIFREEZE:      // the node's file system cannot be frozen
    case kFS_IOC_FIEMAP: // nor map extents of a device node
        result = -EOPNOTSUPP;
        return true;
    case kFITHAW: // nothing is frozen
    case kFICLONE:
    case kFICLONERANGE:
    case kFIDEDUPERANGE: // regular files only
        result = -EINVAL;
        return true;
    }
#endif
    return false;
}

inline long user_ioctl(unsigned major, unsigned cmd, unsigned long arg) {
    const file_operations *fops = major_fops(major);
    inode ino{};
    file f{};
    long result = 0;
    if (generic_ioctl(cmd, arg, f, result))
        return result;
#if LINUX_VERSION_CODE < KERNEL_VERSION(2, 6, 36)
    return fops->ioctl ? fops->ioctl(&ino, &f, cmd, arg) : -ENOTTY;
#else
    (void)ino;
    return fops->unlocked_ioctl ? fops->unlocked_ioctl(&f, cmd, arg) : -ENOTTY;
#endif
}

} // namespace kstandin
