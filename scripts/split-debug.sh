#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# Splits a binary's debug information off into a debug file and ships the
# binary stripped, with a GNU debuglink (file name and CRC-32) to that file:
#
#   split-debug.sh <binutils prefix> <strip option> <binary> <shipped> <debug file>
#
# <binary> is copied to <shipped> first (they may be the same file). Use the
# binutils of the binary's target (arm-linux-gnueabi-, i686-w64-mingw32-);
# --strip-all for programs, --strip-debug for kernel modules, whose loader
# needs their symbols. Then checked: no debug section left in <shipped>, its
# debuglink names the debug file and carries that file's CRC-32, and the
# debug file holds the debug information (when the binary had any).
set -eu

die() {
	echo "split-debug: $*" >&2
	exit 1
}

[ $# = 5 ] || die "usage: $0 <binutils prefix> <strip option> <binary> <shipped> <debug file>"
tools=$1 strip=$2 bin=$3 out=$4 dbg=$5
name=$(basename "$out")
sections() { "${tools}objdump" -h "$1" || die "${tools}objdump cannot read $1"; }

had_debug=0
if sections "$bin" | grep -q ' \.debug_info'; then had_debug=1; fi
[ "$bin" = "$out" ] || cp "$bin" "$out"
mkdir -p "$(dirname "$dbg")"
"${tools}objcopy" --only-keep-debug "$out" "$dbg"
chmod 644 "$dbg"
"${tools}strip" "$strip" "$out"
"${tools}objcopy" --add-gnu-debuglink="$dbg" "$out"

if sections "$out" | grep -q ' \.debug_'; then die "$name still has debug sections"; fi
if [ "$had_debug" = 1 ] && ! sections "$dbg" | grep -q ' \.debug_info'; then
	die "$(basename "$dbg") holds no debug information"
fi
# The debuglink section: the file name, NUL, padding to 4, the CRC-32 (the
# one gzip stores in its trailer, both little-endian on these targets).
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"${tools}objcopy" --dump-section .gnu_debuglink="$tmp/link" "$out" "$tmp/copy" 2>/dev/null ||
	die "$name has no debuglink"
link=$(tr '\0' '\n' <"$tmp/link" | head -n 1)
[ "$link" = "$(basename "$dbg")" ] || die "$name links to '$link', not $(basename "$dbg")"
tail -c 4 "$tmp/link" >"$tmp/crc.got"
gzip -c "$dbg" | tail -c 8 | head -c 4 >"$tmp/crc.want"
cmp -s "$tmp/crc.got" "$tmp/crc.want" || die "the debuglink CRC of $name does not match $(basename "$dbg")"
echo "split-debug: $name: $(wc -c <"$out") bytes stripped ($strip), debug information in $(basename "$dbg")"
