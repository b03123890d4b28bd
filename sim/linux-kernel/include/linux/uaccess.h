// SPDX-License-Identifier: GPL-2.0-only
#ifndef KSTANDIN_LINUX_UACCESS_H
#define KSTANDIN_LINUX_UACCESS_H

#include "../asm/uaccess.h"

#endif
