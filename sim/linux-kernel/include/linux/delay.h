// SPDX-License-Identifier: GPL-2.0-only
/*
 * Busy-wait delays expanded as the board's kernel does (ARM, HZ=200):
 * udelay of a constant becomes one __const_udelay call with the microseconds
 * scaled by (2199023 * HZ) >> 11; mdelay above 2 ms loops over udelay(1000).
 */
#ifndef KSTANDIN_LINUX_DELAY_H
#define KSTANDIN_LINUX_DELAY_H

#include "types.h"

#ifdef __cplusplus
extern "C" {
#endif

#define HZ 200
#define MAX_UDELAY_MS 2

void __udelay(unsigned long usecs);
void __const_udelay(unsigned long xloops);
/* Never defined: a constant delay that is too long fails to link. */
void __bad_udelay(void);

#define udelay(n)                                                                                  \
    (__builtin_constant_p(n)                                                                       \
         ? ((n) > (MAX_UDELAY_MS * 1000) ? __bad_udelay()                                          \
                                         : __const_udelay((n) * ((2199023U * HZ) >> 11)))          \
         : __udelay(n))

#define mdelay(n)                                                                                  \
    ((__builtin_constant_p(n) && (n) <= MAX_UDELAY_MS) ? udelay((n)*1000) : ({                     \
        unsigned long __ms = (n);                                                                  \
        while (__ms--)                                                                             \
            udelay(1000);                                                                          \
    }))

#ifdef __cplusplus
}
#endif

#endif
