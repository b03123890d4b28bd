// SPDX-License-Identifier: GPL-2.0-only
// The board's C library's start of a program, preloaded into a board
// program under emulation: __libc_start_main@GLIBC_2.4 as a 2.4 C library
// runs it. That one registers the dynamic linker's finaliser and then the
// fini argument to run at exit, and runs the init argument as the
// program's only constructor call. The C library here ignores fini and,
// without init, runs the constructors itself, so a start file that
// passes a fini function or no init looks right here and fails on the
// board; this makes it fail here too.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stddef.h>

typedef int (*main_fn)(int, char **, char **);
typedef void (*init_fn)(int, char **, char **);
typedef void (*fini_fn)(void);
typedef int (*start_fn)(main_fn, int, char **, init_fn, fini_fn, fini_fn, void *);

extern int __cxa_atexit(void (*fn)(void *), void *arg, void *dso);
int __libc_start_main(main_fn main_fn, int argc, char **argv, init_fn init, fini_fn fini,
                      fini_fn rtld_fini, void *stack_end);

static void no_init(int argc, char **argv, char **envp) {
    (void)argc;
    (void)argv;
    (void)envp;
}

int __libc_start_main(main_fn main_fn, int argc, char **argv, init_fn init, fini_fn fini,
                      fini_fn rtld_fini, void *stack_end) {
    start_fn next = (start_fn)dlvsym(RTLD_NEXT, "__libc_start_main", "GLIBC_2.4");

    if (rtld_fini != NULL)
        __cxa_atexit((void (*)(void *))rtld_fini, NULL, NULL);
    if (fini != NULL)
        __cxa_atexit((void (*)(void *))fini, NULL, NULL);
    return next(main_fn, argc, argv, init != NULL ? init : no_init, NULL, NULL, stack_end);
}
