// SPDX-License-Identifier: GPL-2.0-only
#ifndef KSTANDIN_LINUX_TYPES_H
#define KSTANDIN_LINUX_TYPES_H

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h> /* ssize_t, loff_t */

typedef uint8_t u8;
typedef uint16_t u16;
typedef uint32_t u32;
typedef uint64_t u64;

/* Address-space markers: only meaningful to static checkers. */
#define __user
#define __iomem

#endif
