// SPDX-License-Identifier: GPL-2.0-only
#ifndef KSTANDIN_LINUX_INIT_H
#define KSTANDIN_LINUX_INIT_H

/* No init-only or exit-only sections in user space. */
#define __init
#define __exit

#endif
