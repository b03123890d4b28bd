#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# board-gcc: the C compiler for programs that run on the board.
#
#   board-gcc [gcc options] files...        e.g. board-gcc -o portf portf.c
#
# Runs the ARM cross compiler (${CROSS_COMPILE}gcc; CROSS_COMPILE defaults
# to arm-linux-gnueabi-) with what the board needs: its C library is
# GLIBC_2.4, the first ARM EABI release, and its dynamic linker reads only
# the SysV hash table. The compiler's defaults give a program that does not
# start there (position-independent, GNU hash table only, bound to the C
# library's version 2.34 by the compiler's start files).
#
#   @KIT_ARM_CPU_FLAGS@
#       the board's processor
#   @BOARD_COMPILE_FLAGS@ -include glibc-2.4.h
#       code for a program at a fixed address; the header binds the few
#       functions whose newest version the board lacks to its GLIBC_2.4 one
#   board_start.c @BOARD_LINK_FLAGS@
#       the start file of this folder in place of the compiler's own
#       (-nostartfiles), a program at a fixed address (-no-pie), the
#       compiler's helper routines linked into the program rather than
#       taken from a libgcc_s on the board, only the libraries the program
#       uses, a SysV hash table beside the GNU one, no
#       read-only-after-relocation segment
#
# With -c, -S or -E only the compile options are added. After a link the
# program is checked: one that needs a C library symbol version other than
# GLIBC_2.4 is deleted, and the symbols are named. -static is refused: a
# statically linked current C library refuses kernels older than 3.2, and
# the board runs 2.6.21.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
cross=${CROSS_COMPILE:-arm-linux-gnueabi-}
# Word lists, split where they are used.
cpu='@KIT_ARM_CPU_FLAGS@'
compile='@BOARD_COMPILE_FLAGS@'
link='@BOARD_LINK_FLAGS@'

out=a.out
linking=1
next_is_out=0
for a in "$@"; do
	if [ "$next_is_out" = 1 ]; then
		out=$a
		next_is_out=0
		continue
	fi
	case "$a" in
	-c | -S | -E) linking=0 ;;
	-o) next_is_out=1 ;;
	-o*) out=${a#-o} ;;
	-static)
		echo "board-gcc: -static: a statically linked program does not start on the board's kernel" >&2
		exit 1
		;;
	esac
done

# shellcheck disable=SC2086 # the flag lists are word lists
if [ "$linking" = 0 ]; then
	exec "${cross}gcc" $cpu $compile -include "$here/glibc-2.4.h" "$@"
fi
# shellcheck disable=SC2086 # the same
"${cross}gcc" $cpu $compile -include "$here/glibc-2.4.h" $link "$@" \
	-x c "$here/board_start.c" -x none

bad=$("${cross}readelf" -W --dyn-syms "$out" | awk '$8 ~ /@/ && $8 !~ /@GLIBC_2\.4$/ { print $8 }' | sort -u | paste -sd ' ' -)
if [ -n "$bad" ]; then
	rm -f "$out"
	echo "board-gcc: $out deleted: the board's C library (GLIBC_2.4) lacks $bad" >&2
	exit 1
fi
