// SPDX-License-Identifier: GPL-2.0-only
#ifndef KSTANDIN_LINUX_MUTEX_H
#define KSTANDIN_LINUX_MUTEX_H

#ifdef __cplusplus
extern "C" {
#endif

struct mutex {
    int locked;
    const char *name;
};

#define DEFINE_MUTEX(m) struct mutex m = {0, #m}

/* Recorded; locking a held mutex (a self-deadlock here) is a fault. */
void mutex_lock(struct mutex *m);
void mutex_unlock(struct mutex *m);

#ifdef __cplusplus
}
#endif

#endif
