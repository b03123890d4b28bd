// SPDX-License-Identifier: GPL-2.0-only
#ifndef KSTANDIN_LINUX_FS_H
#define KSTANDIN_LINUX_FS_H

#include "types.h"

#ifdef __cplusplus
extern "C" {
#endif

struct module;

struct inode {
    unsigned int i_rdev;
};

struct file {
    unsigned int f_flags;
};

struct dentry;
struct poll_table_struct;
struct vm_area_struct;

/*
 * Slots of 2.6.21's table, in its order: ioctl is called under the kernel's
 * global lock, unlocked_ioctl and compat_ioctl without it.
 */
struct file_operations {
    struct module *owner;
    loff_t (*llseek)(struct file *, loff_t, int);
    ssize_t (*read)(struct file *, char __user *, size_t, loff_t *);
    ssize_t (*write)(struct file *, const char __user *, size_t, loff_t *);
    unsigned int (*poll)(struct file *, struct poll_table_struct *);
    int (*ioctl)(struct inode *, struct file *, unsigned int, unsigned long);
    long (*unlocked_ioctl)(struct file *, unsigned int, unsigned long);
    long (*compat_ioctl)(struct file *, unsigned int, unsigned long);
    int (*mmap)(struct file *, struct vm_area_struct *);
    int (*open)(struct inode *, struct file *);
    int (*flush)(struct file *, void *);
    int (*release)(struct inode *, struct file *);
    int (*fsync)(struct file *, struct dentry *, int);
};

int register_chrdev(unsigned int major, const char *name, const struct file_operations *fops);
void unregister_chrdev(unsigned int major, const char *name);

#ifdef __cplusplus
}
#endif

#endif
