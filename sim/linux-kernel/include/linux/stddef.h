// SPDX-License-Identifier: GPL-2.0-only
#ifndef KSTANDIN_LINUX_STDDEF_H
#define KSTANDIN_LINUX_STDDEF_H

#include <stddef.h> /* offsetof, NULL */

#endif
