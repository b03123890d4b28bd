/*
 * Kernel version seen by the module. The build picks the generation:
 * -DKSTANDIN_VERSION_CODE=0x020615 for the board's 2.6.21, default a current
 * kernel (6.1).
 */
#ifndef KSTANDIN_LINUX_VERSION_H
#define KSTANDIN_LINUX_VERSION_H

#define KERNEL_VERSION(a, b, c) (((a) << 16) + ((b) << 8) + (c))
#ifndef KSTANDIN_VERSION_CODE
#define KSTANDIN_VERSION_CODE KERNEL_VERSION(6, 1, 0)
#endif
#define LINUX_VERSION_CODE KSTANDIN_VERSION_CODE

#endif
