// SPDX-License-Identifier: GPL-2.0-only
#ifndef KSTANDIN_ASM_UACCESS_H
#define KSTANDIN_ASM_UACCESS_H

#include "../linux/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Copy to or from the calling process. Only memory the test declared as the
 * caller's (and readable or writable as declared) is reached; the result is
 * the number of bytes not copied, and copy_from_user zero-fills them.
 */
unsigned long copy_from_user(void *to, const void __user *from, unsigned long n);
unsigned long copy_to_user(void __user *to, const void *from, unsigned long n);

#ifdef __cplusplus
}
#endif

#endif
