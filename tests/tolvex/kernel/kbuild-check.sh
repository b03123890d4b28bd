#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# Builds tolvex.ko out of tree from a copy of the source kit, with W=1,
# and fails on any compiler or modpost warning.
# Usage: kbuild-check.sh <tolvex source dir> <work dir> <KDIR>
set -eu
src=$1
work=$2
kdir=${3:-}
if [ -z "$kdir" ] || [ ! -d "$kdir" ]; then
	echo "kbuild-check: no kernel build tree '$kdir' (linux-headers-amd64 installed?)" >&2
	exit 1
fi
rm -rf "$work"
mkdir -p "$work"
cp "$src/tolvex.c" "$src/tolvex.h" "$src/Kbuild" "$src/Makefile" "$work/"
log="$work/build.log"
if ! make -C "$work" KDIR="$kdir" W=1 >"$log" 2>&1; then
	cat "$log"
	echo "kbuild-check: build failed against $kdir" >&2
	exit 1
fi
cat "$log"
if grep -qi "warning:" "$log"; then
	echo "kbuild-check: warnings in the module build" >&2
	exit 1
fi
if [ ! -f "$work/tolvex.ko" ]; then
	echo "kbuild-check: no tolvex.ko produced" >&2
	exit 1
fi
echo "kbuild-check: tolvex.ko built warning-free against $kdir"
