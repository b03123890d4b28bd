// SPDX-License-Identifier: GPL-2.0-only
#ifndef KSTANDIN_LINUX_KERNEL_H
#define KSTANDIN_LINUX_KERNEL_H

#include "types.h"

#define ARRAY_SIZE(arr) (sizeof(arr) / sizeof((arr)[0]))

#ifdef __cplusplus
extern "C" {
#endif

/* Captured by the stand-in: every call and the log split into lines. */
int printk(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

#ifdef __cplusplus
}
#endif

#endif
