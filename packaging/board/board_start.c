/* SPDX-License-Identifier: GPL-2.0-only */
/*
 * Process start-up for programs that run on the board (board-gcc links it
 * into every program in place of the compiler's own start files, which the
 * program is linked without: -nostartfiles).
 *
 * The board's C library is the first ARM EABI release (symbol version
 * GLIBC_2.4). The compiler's own start files bind __libc_start_main to a
 * much newer version, so a program linked with them would not start on the
 * board. This file binds the C library entry to its GLIBC_2.4 version,
 * which every newer C library still provides.
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

/*
 * The handle that atexit() (from the C library's static part) registers the
 * program's exit functions under; the compiler's start files define it, 0
 * for a program.
 */
void *__dso_handle __attribute__((visibility("hidden"))) = 0;

typedef void (*init_fn)(int, char **, char **);

extern init_fn __init_array_start[] __attribute__((weak, visibility("hidden")));
extern init_fn __init_array_end[] __attribute__((weak, visibility("hidden")));

/*
 * The program's constructors, in order. The board's C library runs them
 * only through this init argument (a current one, given it, runs nothing
 * else). Only .init_array: the dynamic linker itself runs the program's
 * .preinit_array before the C library starts, and its .fini_array (the
 * destructors) at exit through rtld_fini; running either here as well would
 * run it twice.
 */
static void board_init(int argc, char **argv, char **envp) {
    size_t n = (size_t)(__init_array_end - __init_array_start);
    size_t i;

    for (i = 0; i < n; i++)
        __init_array_start[i](argc, argv, envp);
}

void board_start_c(void (*rtld_fini)(void), long *sp) __attribute__((noreturn, used));

/* No fini function: the destructors are rtld_fini's (see board_init). */
void board_start_c(void (*rtld_fini)(void), long *sp) {
    int argc = (int)sp[0];
    char **argv = (char **)(sp + 1);

    __libc_start_main(main, argc, argv, board_init, NULL, rtld_fini, sp);
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
