// SPDX-License-Identifier: GPL-2.0-only
#ifndef KSTANDIN_LINUX_MODULE_H
#define KSTANDIN_LINUX_MODULE_H

#include "types.h"
#include "init.h"

#ifdef __cplusplus
extern "C" {
#endif

struct module {
    const char *name;
};

extern struct module __this_module;
#define THIS_MODULE (&__this_module)

/*
 * The load and unload entries become kstandin_init_module() and
 * kstandin_cleanup_module(), which the stand-in's loader calls. The trailing
 * declaration takes the semicolon after the macro.
 */
int kstandin_init_module(void);
void kstandin_cleanup_module(void);
#define module_init(fn)                                                                            \
    int kstandin_init_module(void) {                                                               \
        return fn();                                                                               \
    }                                                                                              \
    extern int kstandin_module_init_decl
#define module_exit(fn)                                                                            \
    void kstandin_cleanup_module(void) {                                                           \
        fn();                                                                                      \
    }                                                                                              \
    extern int kstandin_module_exit_decl

extern const char kstandin_module_license[];
#define MODULE_LICENSE(text) const char kstandin_module_license[] = text
extern const char kstandin_module_version[];
#define MODULE_VERSION(text) const char kstandin_module_version[] = text

#ifdef __cplusplus
}
#endif

#endif
