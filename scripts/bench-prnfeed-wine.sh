#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-only
# The real prnfeed.exe under wine streams a 64 MiB file into the simulated
# USB printer (sim/wine-printer/, set to discard print data), beside the floor
# for the same sink: write-floor.exe, which opens PIPE00 once and writes as
# many bytes as the file has from one buffer in synchronous 4096-byte
# WriteFile calls, and does nothing else (no device query, no file read, no
# output): the least any sender of the file must do. The two take turns,
# run after run, so that a change in the machine's load falls on both
# alike. Shows MiB/s of every run, their ratio (the tool's own overhead;
# near 1, and above 1 only within the spread of the runs), and the tool's
# peak memory for 1 MiB and 64 MiB files (it must not grow).
#
# What the figures mean: under wine every write is a round trip from the
# program through the wine server to the driver and back (measured once at
# about 200 us per 4096-byte write, about 19 MiB/s), and that round trip
# sets both rates; the ratio is the tool's own overhead (device query, file
# read, progress line). On a shared or busy machine the rates swing by a
# factor of two or more from run to run: read the ratio against that spread.
# It is no prediction for a real printer: there each 4096-byte write is one
# synchronous round trip through the system's USB printer driver to the
# printer, the next one starts only when it completed, and the chunk size is
# fixed by the tool's contract. A full-speed USB link (12 Mbit/s, at most
# about 1.2 MB/s of bulk data) or the printer's own intake is then the
# limit, not the tool.
#
#   scripts/bench-prnfeed-wine.sh [win32 install dir] [wine prefix]
#
# Not a test: figures depend on the machine and its load. Uses the wine
# prefix of the host build's tests (created on first use).
set -euo pipefail

# Every path absolute: the runs happen inside a scratch folder.
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
root=$(cd "$(dirname "$0")/.." && pwd)
win32=$(absolute "${1:-$root/build/install/win32}")
prefix=$(absolute "${2:-$root/build/host/tests/prnfeed/win32/wineprefix}")
exe=$win32/prnfeed.exe
floor=$win32/stand-in/write-floor.exe
pipe='\\.\SimPrinter0 \PIPE00'
big_mib=64
small_mib=1
runs=5

for f in "$exe" "$floor"; do
	[ -f "$f" ] || { echo "bench: $f not built (make win32)" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "bench: needs /usr/bin/time (Debian package time)" >&2; exit 1; }
if ! reason=$(wine --version 2>&1 </dev/null); then
	echo "bench under wine skipped: wine cannot run on this machine ($reason)"
	exit 0
fi

fixture=$root/tests/prnfeed/win32/wine-fixture.sh
sim=$prefix/drive_c/sim-printer
tmp=$(mktemp -d "${TMPDIR:-/tmp}/bench-prnfeed-wine.XXXXXX")
# Out of the scratch folder before it goes: the fixture's shell starts there.
trap 'cd /; rm -rf "$tmp"; rm -f "$sim/printer.txt"; "$fixture" stop "$prefix" >/dev/null' EXIT
"$fixture" start "$prefix" "$root/sim/wine-printer/install.sh" "$win32/stand-in" >"$tmp/fixture" ||
	{ cat "$tmp/fixture" >&2; exit 1; }
export WINEPREFIX=$prefix WINEDEBUG=-all
unset DISPLAY

# A printer that takes every write whole and only counts the print data
# (taken.txt, written when the output pipe closes), with no event log.
rm -f "$sim"/printer.txt* "$sim/received.bin" "$sim/events.txt" "$sim/taken.txt"
printf '%s\n' 'device_id=MFG:Bench;MDL:Sink-1;CMD:RAW;' output=discard events=0 >"$sim/printer.txt"

# shellcheck source-path=SCRIPTDIR source=bench-timing.sh
. "$root/scripts/bench-timing.sh"
bench_fresh=$sim/taken.txt

# The printer must have taken every byte (a run that stopped early would be
# fast and prove nothing).
taken_all() {
	local size
	size=$(stat -c %s "$tmp/$1")
	if [ "$(cat "$sim/taken.txt" 2>/dev/null)" != "$size" ]; then
		echo "bench: the printer did not take all $size bytes of $1:" >&2
		cat "$sim/taken.txt" "$tmp/out" "$tmp/err" >&2 2>/dev/null
		exit 1
	fi
}

mib_per_s() { awk -v mib="$1" -v ns="$2" 'BEGIN { printf "%.1f", mib / (ns / 1e9) }'; }

head -c $((small_mib * 1024 * 1024)) /dev/urandom >"$tmp/small.bin"
big_bytes=$((big_mib * 1024 * 1024))
head -c "$big_bytes" /dev/urandom >"$tmp/big.bin"
cat "$tmp"/*.bin >/dev/null # every run starts from the page cache

cd "$tmp" # relative file names: on this host '/...' reads as a line code
# The tool first: its device open loads the printer's configuration. This
# run also warms the wine server and the driver for both programs.
time_once wine "$exe" small.bin
taken_all small.bin
small_kib=$rss_kib

# The tool and the floor take turns, each going first in every other pair.
tool_rates=() floor_rates=() ratios=()
run_tool() {
	time_once wine "$exe" big.bin
	taken_all big.bin
	tool_ns=$time_ns big_kib=$rss_kib
}
run_floor() {
	time_once wine "$floor" "$pipe" "$big_bytes"
	taken_all big.bin
	floor_ns=$time_ns
}
for ((i = 0; i < runs; i++)); do
	if ((i % 2 == 0)); then
		run_tool
		run_floor
	else
		run_floor
		run_tool
	fi
	tool_rates+=("$(mib_per_s "$big_mib" "$tool_ns")")
	floor_rates+=("$(mib_per_s "$big_mib" "$floor_ns")")
	ratios+=("$(awk -v a="$tool_ns" -v b="$floor_ns" 'BEGIN { printf "%.2f", b / a }')")
done

# best, median and the spread of a list of figures
summary() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 }
	END { printf "best %s, median %s, spread %s to %s", v[NR], v[int((NR + 1) / 2)], v[1], v[NR] }'; }
best() { printf '%s\n' "$@" | sort -g | tail -n 1; }

echo "prnfeed.exe under wine, $big_mib MiB into a discarding simulated printer, $runs runs each, taken in turn"
echo "  floor: write-floor.exe, one PIPE00 open, 4096-byte WriteFile, MiB/s"
echo "    ${floor_rates[*]}  ($(summary "${floor_rates[@]}"))"
echo "  prnfeed.exe, MiB/s"
echo "    ${tool_rates[*]}  ($(summary "${tool_rates[@]}"))"
# The best run of each is the one the machine's load disturbed least; the
# pairs show how far the load moved the figures from run to run.
awk -v a="$(best "${tool_rates[@]}")" -v b="$(best "${floor_rates[@]}")" \
	'BEGIN { printf "  prnfeed.exe / floor rate ratio, best against best %6.2f\n", a / b }'
echo "    pair by pair: ${ratios[*]}"
echo "peak resident memory of prnfeed.exe under wine"
printf '  %4d MiB file %37d KiB\n' "$small_mib" "$small_kib" "$big_mib" "$big_kib"
# The job holds one 4096-byte block; a peak that grows with the file means
# the file is being held.
growth=$((big_kib - small_kib))
if ((growth > 1024)); then
	echo "  peak grew by $growth KiB from $small_mib MiB to $big_mib MiB: the file is being held" >&2
	exit 1
fi
echo "  growth from $small_mib MiB to $big_mib MiB: $growth KiB"
