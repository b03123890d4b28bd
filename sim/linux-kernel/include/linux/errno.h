// SPDX-License-Identifier: GPL-2.0-only
#ifndef KSTANDIN_LINUX_ERRNO_H
#define KSTANDIN_LINUX_ERRNO_H

/* The kernel's error numbers that the module and its callers see. */
#define ENOMEM 12
#define EFAULT 14
#define EBUSY 16
#define EINVAL 22
#define ENOTTY 25
#define ETIMEDOUT 110

#endif
