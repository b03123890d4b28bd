// SPDX-License-Identifier: GPL-2.0-only
// What a user program's ioctl(fd, cmd, arg) on a node of a character major
// reaches in the board's 2.6.21 kernel: first the kernel's generic ioctl
// layer, which answers some codes itself and never hands them to the driver,
// then the driver's handler slot.
#pragma once

#include "kstandin.h"

#include <cerrno>

namespace kstandin {

// Codes of the generic layer (the same numbers on the board's ARM EABI and
// on x86).
constexpr unsigned kFIONBIO = 0x5421;
constexpr unsigned kFIONCLEX = 0x5450;
constexpr unsigned kFIOCLEX = 0x5451;
constexpr unsigned kFIOASYNC = 0x5452;
constexpr unsigned kFIOQSIZE = 0x5460;

// The generic layer for a character device node opened without O_ASYNC and
// whose driver has no fasync entry. True, with the result, when it answers
// the code itself; false when it hands the code on to the driver. Codes 1
// and 2 (block map and block size) it answers for regular files only: for a
// device they reach the driver.
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
    return false;
}

// Then the driver: its unlocked_ioctl slot when filled, without the
// kernel's global lock; else its ioctl slot, under that lock.
inline long user_ioctl(unsigned major, unsigned cmd, unsigned long arg) {
    const file_operations *fops = major_fops(major);
    inode ino{};
    file f{};
    long result = 0;
    if (generic_ioctl(cmd, arg, f, result))
        return result;
    if (fops->unlocked_ioctl)
        return fops->unlocked_ioctl(&f, cmd, arg);
    if (!fops->ioctl)
        return -ENOTTY;
    lock_kernel();
    result = fops->ioctl(&ino, &f, cmd, arg);
    unlock_kernel();
    return result;
}

} // namespace kstandin
