// SPDX-License-Identifier: GPL-2.0-only
#ifndef KSTANDIN_LINUX_IO_H
#define KSTANDIN_LINUX_IO_H

#include "../asm/io.h"

#endif
