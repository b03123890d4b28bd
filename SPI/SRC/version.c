// SPDX-License-Identifier: GPL-2.0-only
/*
 * The kit's version in quenzor's .comment section (readelf -p .comment),
 * beside the compiler's own line. No code or data: the program's output
 * does not change.
 */
__asm__(".ident \"quenzor " KIT_VERSION "\"");
