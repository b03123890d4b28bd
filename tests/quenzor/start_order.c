// SPDX-License-Identifier: GPL-2.0-only
// A board program with a start-up and exit function of every kind. It
// prints one line as each runs; each must run exactly once, in this order:
// preinit, constructor, main, atexit, destructor. main also calls fcntl,
// which the board build binds to the board's version.
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

// write(2) only: the .preinit_array entry runs before the C library has
// started.
static void say(const char *line) {
    (void)!write(1, line, strlen(line));
}

typedef void (*start_fn)(int, char **, char **);

static void preinit(int argc, char **argv, char **envp) {
    (void)argc;
    (void)argv;
    (void)envp;
    say("preinit\n");
}
__attribute__((section(".preinit_array"), used)) static const start_fn preinit_entry = preinit;

__attribute__((constructor)) static void constructor(void) {
    say("constructor\n");
}

__attribute__((destructor)) static void destructor(void) {
    say("destructor\n");
}

static void at_exit(void) {
    say("atexit\n");
}

int main(void) {
    atexit(at_exit);
    say("main\n");
    return fcntl(1, F_GETFL) < 0;
}
