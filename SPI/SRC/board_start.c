// SPDX-License-Identifier: GPL-2.0-only
/*
 * Process start-up for the board build of quenzor.
 *
 * The board's C library is the first ARM EABI release (symbol version
 * GLIBC_2.4). The toolchain's own start files bind __libc_start_main to a
 * much newer version, so a program linked with them would not start on the
 * board. This file replaces them (the program is linked with -nostartfiles)
 * and binds the C library entry to its GLIBC_2.4 version, which every newer
 * C library still provides.
 *
 * Entry state (ARM EABI Linux): sp points at argc, followed by argv[],
 * NULL, envp[], NULL, auxv; r0 holds the dynamic linker's finaliser.
 */

#include <stddef.h>

__asm__(".symver __libc_start_main,__libc_start_main@GLIBC_2.4");

extern int main(int argc, char **argv, char **envp);
extern int __libc_start_main(int (*main_fn)(int, char **, char **), int argc, char **argv,
                             void (*init)(int, char **, char **), void (*fini)(void),
                             void (*rtld_fini)(void), void *stack_end);

/* Marks the program as built for the current stdio ABI. */
const int _IO_stdin_used __attribute__((used)) = 0x20001;

typedef void (*init_fn)(int, char **, char **);
typedef void (*fini_fn)(void);

extern init_fn __preinit_array_start[] __attribute__((weak, visibility("hidden")));
extern init_fn __preinit_array_end[] __attribute__((weak, visibility("hidden")));
extern init_fn __init_array_start[] __attribute__((weak, visibility("hidden")));
extern init_fn __init_array_end[] __attribute__((weak, visibility("hidden")));
extern fini_fn __fini_array_start[] __attribute__((weak, visibility("hidden")));
extern fini_fn __fini_array_end[] __attribute__((weak, visibility("hidden")));

/*
 * An old C library runs the program's constructors only through the init
 * argument; a new one calls it as well when it is given. Either way the
 * constructor tables run exactly once.
 */
static void board_init(int argc, char **argv, char **envp) {
    size_t n;
    size_t i;

    n = (size_t)(__preinit_array_end - __preinit_array_start);
    for (i = 0; i < n; i++)
        __preinit_array_start[i](argc, argv, envp);
    n = (size_t)(__init_array_end - __init_array_start);
    for (i = 0; i < n; i++)
        __init_array_start[i](argc, argv, envp);
}

static void board_fini(void) {
    size_t n = (size_t)(__fini_array_end - __fini_array_start);

    while (n-- > 0)
        __fini_array_start[n]();
}

void board_start_c(void (*rtld_fini)(void), long *sp) __attribute__((noreturn, used));

void board_start_c(void (*rtld_fini)(void), long *sp) {
    int argc = (int)sp[0];
    char **argv = (char **)(sp + 1);

    __libc_start_main(main, argc, argv, board_init, board_fini, rtld_fini, sp);
    for (;;) {
    }
}

__asm__(".text\n"
        ".global _start\n"
        ".type _start, %function\n"
        "_start:\n"
        "	mov fp, #0\n"
        "	mov lr, #0\n"
        "	mov r1, sp\n"
        "	bic sp, sp, #7\n"
        "	bl board_start_c\n"
        ".size _start, . - _start\n");
