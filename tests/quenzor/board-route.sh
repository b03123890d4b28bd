#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# The release's board/ folder, as a board engineer uses it, builds programs
# that start as the board starts them:
#
#   board-route.sh <arm install tree> <work folder> <cpu flags>
#
# - start_order.c, built with board/board-gcc (also with
#   _FILE_OFFSET_BITS=64), runs each start-up and exit function once, in
#   order, under the emulator's C library and under the board's start
#   contract (glibc24_start.c preloaded); its fcntl is bound to GLIBC_2.4;
# - a program that needs a newer C library (stat) is refused and deleted,
#   and so is -static.
set -eu
arm=$1
work=$2
cpu=$3
src=$(cd "$(dirname "$0")" && pwd)
fail() {
	echo "board-route: $*" >&2
	exit 1
}
rm -rf "$work"
mkdir -p "$work"
cd "$work"
cp -R "$arm/board" .

# shellcheck disable=SC2086 # a word list
arm-linux-gnueabi-gcc $cpu -Wall -Wextra -Werror -shared -fPIC \
	-Wl,--version-script="$src/glibc24_start.map" -o glibc24_start.so "$src/glibc24_start.c"
want=$(printf '%s\n' preinit constructor main atexit destructor)
for lfs in "" -D_FILE_OFFSET_BITS=64; do
	# shellcheck disable=SC2086 # empty or one option
	board/board-gcc $lfs -Wall -Wextra -Werror -o order "$src/start_order.c"
	arm-linux-gnueabi-readelf -W --dyn-syms order | grep -q ' fcntl@GLIBC_2\.4 ' ||
		fail "fcntl is not bound to GLIBC_2.4 (${lfs:-no options})"
	for preload in "" "$PWD/glibc24_start.so"; do
		got=$("$arm/stand-in/run-board" ${preload:+-E LD_PRELOAD="$preload"} ./order) ||
			fail "order exited with status $? (${lfs:-no options}, ${preload:-no preload})"
		[ "$got" = "$want" ] ||
			fail "start-up functions ran as: $(printf "%s" "$got" | tr "\n" " ") (${lfs:-no options}, ${preload:-no preload})"
	done
done

printf '#include <sys/stat.h>\nint main(void) { struct stat st; return stat("/", &st); }\n' >stat.c
for opt in "" -static; do
	# shellcheck disable=SC2086 # empty or one option
	if board/board-gcc $opt -o stat stat.c 2>err; then
		fail "board-gcc built a program the board cannot start (${opt:-no options})"
	fi
	[ ! -e stat ] || fail "board-gcc left the refused program (${opt:-no options})"
	grep -q -e "${opt:-lacks stat@GLIBC_2\.33}" err || fail "board-gcc said: $(cat err)"
done
echo "board-route: start order, fcntl binding and refusals as expected"
