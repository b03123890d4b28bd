#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# The real prnfeed.exe under wine prints a sample file to the simulated USB
# printer (sim/wine-printer/: a Windows driver of ours on the printer model the
# stand-in uses) and programs its serial number; the bytes the printer
# received are compared with the file. Uses the wine prefix of the host
# build's tests (created on first use, with the driver installed).
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
win32="$root/build/install/win32"
prefix="$root/build/host/tests/prnfeed/win32/wineprefix"
exe="$win32/prnfeed.exe"
[ -f "$exe" ] || { echo "the win32 preset is not built: $exe" >&2; exit 1; }
if ! reason=$(wine --version 2>&1 </dev/null); then
	echo "skipped: wine cannot run on this machine ($reason)"
	exit 0
fi
fixture="$root/tests/prnfeed/win32/wine-fixture.sh"
work="$(mktemp -d)"
sim="$prefix/drive_c/sim-printer"
# Out of the scratch folder before it goes: the fixture's shell starts there.
trap 'cd /; rm -rf "$work"; rm -f "$sim/printer.txt"; "$fixture" stop "$prefix" >/dev/null' EXIT
echo "starting wine with the simulated printer installed (the first time creates the prefix)"
"$fixture" start "$prefix" "$root/sim/wine-printer/install.sh" "$win32/stand-in" \
	>"$work/fixture.txt" || { cat "$work/fixture.txt" >&2; exit 1; }

export WINEPREFIX="$prefix" WINEDEBUG=-all
unset DISPLAY
cd "$work" # file names are relative: on this host '/...' reads as a line code
printf 'prnfeed demo page under wine\r\n\f' >page.prn
head -c 10000 /dev/urandom >>page.prn
rm -f "$sim"/printer.txt* "$sim/received.bin" "$sim/events.txt"
echo 'device_id=MFG:Maker;MDL:P-100;CLS:PRINTER;' >"$sim/printer.txt"
echo "simulated printer: $(cat "$sim/printer.txt"), blank serial number"

run() {
	echo
	echo "\$ wine prnfeed.exe $*"
	status=0
	wine "$exe" "$@" </dev/null >out.txt 2>err.txt || status=$?
	tr '\r' '\n' <out.txt | sed '/^$/d'
	cat err.txt
	echo "(exit $status)"
	if cmp -s page.prn "$sim/received.bin"; then
		echo "the printer received exactly the $(wc -c <page.prn) bytes of page.prn"
	else
		echo "the printer did NOT receive the bytes of page.prn" >&2
		exit 1
	fi
}
run /ab12 page.prn
echo "the printer now keeps: $(cat "$sim/printer.txt.state")"
run /ab12 page.prn
