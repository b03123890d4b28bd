// SPDX-License-Identifier: GPL-2.0-only
#ifndef KSTANDIN_ASM_IO_H
#define KSTANDIN_ASM_IO_H

#include "../linux/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One 32-bit access each, to the stand-in's register model. */
u32 __raw_readl(const volatile void __iomem *addr);
void __raw_writel(u32 value, volatile void __iomem *addr);

void __iomem *ioremap(unsigned long phys_addr, size_t size);
void iounmap(volatile void __iomem *addr);

#ifdef __cplusplus
}
#endif

#endif
