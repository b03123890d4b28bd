# shellcheck shell=bash
# SPDX-License-Identifier: GPL-2.0-only
# Sourced by the scripts that run cases against the simulated USB printer
# under wine (wine-printer.sh, wine-station.sh).
#
# printer_case <prefix> <prnfeed.exe> <work dir> <case>: sets up one case.
# The wine server must run with the driver installed (wine-fixture.sh start
# with sim/wine-printer/install.sh). Every case starts from a clean printer:
# its configuration is written afresh, its kept serial number, received data
# and event log removed; the driver reads them anew when the tool opens the
# device. At the end no printer is left configured. Sets exe, work (the
# case's own, empty), case_name and sim (the printer's folder in the prefix).
# shellcheck source-path=SCRIPTDIR source=wine-env.sh
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
# shellcheck disable=SC2034 # the variables are the sourcing script's
printer_case() {
	use_wine_prefix "$1"
	skip_unless_wine_runs
	exe=$2
	work=$3/$4
	case_name=$4
	[ -f "$exe" ] || { echo "$exe does not exist: build the win32 preset first"; exit 1; }
	sim=$WINEPREFIX/drive_c/sim-printer
	[ -d "$sim" ] || { echo "$sim missing: the simulated printer is not installed"; exit 1; }
	rm -rf "$work" && mkdir -p "$work" || exit 1
	rm -f "$sim"/printer.txt* "$sim/received.bin" "$sim/events.txt" "$sim/taken.txt"
	trap 'rm -f "$sim/printer.txt"' EXIT
}

ID='MFG:Maker;MDL:P-100;CLS:PRINTER;'
printer() { # <extra configuration lines...>
	{
		echo "device_id=$ID"
		printf '%s\n' "$@"
	} >"$sim/printer.txt"
}

# What the print job shows for a file of <size> bytes, up to its last line.
job() { # <size> [<name>]
	local sent=0
	printf 'Printing to %s\r\n' "${2:-P-100}"
	while [ "$sent" -lt "$1" ]; do
		printf 'Printing....(%d/%d)\r' "$sent" "$1"
		sent=$((sent + 4096))
	done
	printf '\r\n'
}
complete() { printf 'Printing complete...!\r\n'; }
# The write sizes the printer must log for a file of <size> bytes.
chunks() {
	local left=$1
	while [ "$left" -gt 0 ]; do
		if [ "$left" -ge 4096 ]; then echo "write out 4096"; else echo "write out $left"; fi
		left=$((left - 4096))
	done
}
make_file() { head -c "$2" /dev/urandom >"$work/$1"; }

# run <name for the outputs> <program> <args...>: runs in the work directory
# (file names are relative: an absolute Unix path would be a line code).
run() {
	local name=$1
	shift
	(cd "$work" && timeout 60 wine "$@" </dev/null >"$name.out" 2>"$name.err")
	rc=$?
	closed
}
# wine passes a close to the driver and goes on: the program can end before
# the driver has handled its closes (and written taken.txt), and a late close
# could land in the next run. closed waits, at most 20 s, until the driver
# has logged a close for every open.
closed() {
	local tries=0
	while [ -e "$sim/events.txt" ] &&
		! awk '/^open / { o++ } /^close / { c++ } END { exit c < o }' "$sim/events.txt"; do
		tries=$((tries + 1))
		[ "$tries" -le 200 ] || { bad "the driver has not logged a close for every open"; return; }
		sleep 0.1
	done
}
expect_run() { # <name> <exit status>
	[ "$rc" = "$2" ] || bad "$1: exit status $rc, expected $2"
	expect_same "$1: stdout" "$work/want.out" "$work/$1.out"
	expect_same "$1: stderr" "$work/want.err" "$work/$1.err"
}
events() { grep -E "$1" "$sim/events.txt" 2>/dev/null; }
