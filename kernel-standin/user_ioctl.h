// SPDX-License-Identifier: GPL-2.0-only
// What a user program's ioctl(fd, cmd, arg) on a node of a character major
// reaches in the stand-in kernel: the handler slot of the kernel generation
// the caller is built for (the tolvex_mod_<generation> target it links).
#pragma once

#include "include/linux/version.h"
#include "kstandin.h"

namespace kstandin {

inline long user_ioctl(unsigned major, unsigned cmd, unsigned long arg) {
    const file_operations *fops = major_fops(major);
    inode ino{};
    file f{};
#if LINUX_VERSION_CODE < KERNEL_VERSION(2, 6, 36)
    return fops->ioctl(&ino, &f, cmd, arg);
#else
    (void)ino;
    return fops->unlocked_ioctl(&f, cmd, arg);
#endif
}

} // namespace kstandin
