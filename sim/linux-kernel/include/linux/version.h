// SPDX-License-Identifier: GPL-2.0-only
/*
 * Kernel version seen by the module and its callers. The version code is a
 * property of the module's stand-in build per kernel generation
 * (tolvex_mod_2621: the board's 2.6.21, tolvex_mod_current: 6.1): link one of
 * those targets and it comes along.
 */
#ifndef KSTANDIN_LINUX_VERSION_H
#define KSTANDIN_LINUX_VERSION_H

#define KERNEL_VERSION(a, b, c) (((a) << 16) + ((b) << 8) + (c))
#ifndef KSTANDIN_VERSION_CODE
#error "no kernel generation: link tolvex_mod_2621 or tolvex_mod_current"
#endif
#define LINUX_VERSION_CODE KSTANDIN_VERSION_CODE

#endif
