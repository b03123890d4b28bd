/* SPDX-License-Identifier: GPL-2.0-only */
/*
 * Included ahead of every file board-gcc compiles (-include).
 *
 * A program binds each C library function to a symbol version: the newest
 * one of the C library it is linked against. The board's C library is
 * GLIBC_2.4, and a program that needs a newer version does not start there.
 * Most functions a board program calls (open, read, write, ioctl, close,
 * printf, strerror, errno, ...) have kept their GLIBC_2.4 version and need
 * nothing. fcntl got a new version in 2.28 (the old one stays, for
 * programs like these); with _FILE_OFFSET_BITS=64 the headers call it
 * fcntl64, which only exists from 2.28. Both are bound here to fcntl
 * GLIBC_2.4, the board's own fcntl, which takes every command of the
 * board's kernel, the 64-bit lock commands included.
 *
 * Functions that the board's library has in another form only (stat,
 * fstat and lstat from 2.33, clock_gettime, whose GLIBC_2.4 version was in
 * librt then, the threads functions, which were in libpthread) cannot be
 * bound like this: board-gcc refuses a program that needs them.
 *
 * A directive for a function the file does not call changes nothing.
 */
__asm__(".symver fcntl,fcntl@GLIBC_2.4");
__asm__(".symver fcntl64,fcntl@GLIBC_2.4");
