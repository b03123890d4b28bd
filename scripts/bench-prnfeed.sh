#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-only
# Streams files through the native build of prnfeed into a simulated printer
# that discards what it receives, and compares the rate with dd bs=4096 of the
# same file to /dev/null. Shows peak memory for files of 1, 64 and 256 MiB: the
# print job holds one 4096-byte block, never the file, so the peak must not
# grow with the file size.
#
#   scripts/bench-prnfeed.sh [build dir]     (default: build/host)
#
# Not a test: figures depend on the machine and its load.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/host}" && pwd) || exit 1
prog=$build/prnfeed/prnfeed
big_mib=256
mid_mib=64
small_mib=1
runs=3

[ -x "$prog" ] || { echo "bench: $prog not built (make host)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "bench: needs /usr/bin/time (Debian package time)" >&2; exit 1; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/bench-prnfeed.XXXXXX")
trap 'cd /; rm -rf "$tmp"' EXIT

# The simulated printer: one interface of the USB printing class whose output
# pipe takes every write whole, counts the bytes and drops them. The stand-in
# writes a summary of the run (bytes received, handles left open) at exit.
{
	echo "summary=$tmp/summary"
	echo 'interface=usbprint'
	printf '%s\n' 'path=\\?\usb#vid_0000&pid_0001#bench#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}'
	echo 'device_id=MFG:Bench;MDL:Sink-1;CMD:RAW;'
	echo 'output=discard'
} >"$tmp/printer"
export PRNFEED_STANDIN_PRINTER=$tmp/printer

# shellcheck source-path=SCRIPTDIR source=bench-timing.sh
. "$root/scripts/bench-timing.sh"
bench_fresh=$tmp/summary

mib_per_s() { awk -v mib="$1" -v ns="$2" 'BEGIN { printf "%.0f", mib / (ns / 1e9) }'; }

make_file() { head -c "$(($2 * 1024 * 1024))" /dev/urandom >"$1"; }

make_file "$tmp/small.bin" "$small_mib"
make_file "$tmp/mid.bin" "$mid_mib"
make_file "$tmp/big.bin" "$big_mib"
cat "$tmp"/*.bin >/dev/null # every run starts from the page cache

cd "$tmp"
read -r dd_ns _ < <(run_timed dd if=big.bin of=/dev/null bs=4096)
# A run that stopped early would be fast and prove nothing: the job must
# complete, the printer must have counted every byte and nothing stay open.
completed() {
	local size
	size=$(stat -c %s "$1")
	if ! tail -n 1 "$tmp/out" | grep -q '^Printing complete\.\.\.!' ||
		! grep -qx "received_bytes=$size" "$tmp/summary" ||
		! grep -qx 'open_handles=0' "$tmp/summary"; then
		echo "bench: the print job of $1 ($size bytes) did not complete cleanly:" >&2
		tail -c 300 "$tmp/out" >&2
		cat "$tmp/err" "$tmp/summary" >&2
		exit 1
	fi
}
read -r big_ns big_kib < <(run_timed "$prog" big.bin)
completed big.bin
read -r _ mid_kib < <(run_timed "$prog" mid.bin)
completed mid.bin
read -r _ small_kib < <(run_timed "$prog" small.bin)
completed small.bin

dd_rate=$(mib_per_s "$big_mib" "$dd_ns")
big_rate=$(mib_per_s "$big_mib" "$big_ns")
echo "prnfeed benchmark, $big_mib MiB file, best of $runs runs"
printf '  %-34s %8s MiB/s\n' "dd bs=4096 to /dev/null" "$dd_rate"
printf '  %-34s %8s MiB/s\n' "prnfeed to a discarding printer" "$big_rate"
awk -v a="$big_ns" -v b="$dd_ns" 'BEGIN { printf "  prnfeed / dd rate ratio             %8.2f\n", b / a }'
echo "peak resident memory of prnfeed"
printf '  %4d MiB file %27d KiB\n' "$small_mib" "$small_kib" "$mid_mib" "$mid_kib" "$big_mib" "$big_kib"
# The stand-in logs the first 10000 calls of a run (about 20 MiB of print
# data) and then only counts them, so the peak rises a little up to that
# point; past it, a quadrupled file must leave the peak where it was.
growth=$((big_kib - mid_kib))
if ((growth > 256)); then
	echo "  peak grew by $growth KiB from $mid_mib MiB to $big_mib MiB: the file is being held" >&2
	exit 1
fi
echo "  growth from $mid_mib MiB to $big_mib MiB: $growth KiB; from $small_mib MiB: $((big_kib - small_kib)) KiB (stand-in call log)"
