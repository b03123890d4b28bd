#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-only
# Runs STATION.BAT, as the user's guide quotes it and make dist ships it,
# under wine's cmd.exe beside the real prnfeed.exe, against the simulated USB
# printer: what the batch file reports (with the exit value as cmd shows it),
# its own exit value, both output streams, what the printer received and the
# serial number it keeps.
#
#   wine-station.sh <prefix> <prnfeed.exe> <work dir> <case> <guide>
set -u
# shellcheck source-path=SCRIPTDIR source=printer-case.sh
. "$(dirname "$0")/printer-case.sh"
printer_case "$@"
kit=$work/kit
mkdir -p "$kit" && cp "$exe" "$kit/PRNFEED.EXE" || exit 1
"$(dirname "$0")/../../../scripts/station-bat.sh" "${5:?guide}" >"$kit/STATION.BAT" || exit 1
make_file page.prn 5000

# station <args...>: the batch file as an operator starts it, from the work
# directory with the print file's name relative to it.
station() { run got cmd /c 'kit\STATION.BAT' "$@"; }
stopped() { printf 'STATION: STOPPED, %s\r\n' "$1"; }
not_programmed() { stopped "exit value $1: serial number not programmed."; }
written() { sed -n 's/^USB Serial Number write .. \[ \(.*\) \]\r$/\1/p' "$work/got.out"; }
# expect <station's exit value> <bytes the printer received: a file or
# nothing> <serial number it keeps: "" for none stored>
expect() {
	expect_run got "$1"
	if [ -n "$2" ]; then
		expect_same "received data" "$2" "$sim/received.bin"
	elif [ -s "$sim/received.bin" ]; then
		bad "the printer received print data"
	fi
	if [ -n "$3" ]; then
		printf 'serial=%s\n' "$3" >"$work/want.state"
		expect_same "kept serial number" "$work/want.state" "$sim/printer.txt.state"
	elif [ -e "$sim/printer.txt.state" ]; then
		bad "a serial number was stored: $(cat "$sim/printer.txt.state")"
	fi
}
: >"$work/want.err"

case $case_name in
blank)
	# Programmed in the first run, printed in the second.
	printer
	day=$(date +%y%m%d)
	station /ab12 page.prn
	serial=$(written)
	case $serial in
	AB12-"$day"?????) ;;
	*) bad "serial number [$serial] is not AB12-$day<seconds>" ;;
	esac
	{
		banner
		printf 'Current USB Serial Number [ 0000000000000000 ]\r\n'
		printf 'USB Serial Number write OK [ %s ]\r\n' "$serial"
		banner
		job 5000
		complete
		printf 'STATION: DONE, serial number programmed and file printed.\r\n'
	} >"$work/want.out"
	expect 0 "$work/page.prn" "$serial"
	;;
registered)
	# Exit value 1: nothing written, nothing printed.
	printer serial=ZZ99-03010100000
	station /ab12 page.prn
	{
		banner
		printf 'USB Serial Number already registered[ ZZ99-03010100000 ]\r\n'
		stopped "exit value 1: serial number already set; not printed."
	} >"$work/want.out"
	expect 1 "" ""
	[ -z "$(events 'write out 26')" ] || bad "a serial number was written"
	;;
no-printer | in-pipe | short-reply)
	# Exit value -1, as cmd shows it; the tool's message on standard error.
	case $case_name in
	no-printer)
		printer attached=0
		printf '\tPrinter is not ready!\r\n' >"$work/want.err"
		;;
	in-pipe)
		printer in_pipe=0
		printf 'Open port \\\\.\\SimPrinter0 \\PIPE01 error.\r\n' >"$work/want.err"
		;;
	short-reply)
		printer serial_read_reply_length=10
		printf 'Read port error code=0.\r\n' >"$work/want.err"
		;;
	esac
	station /ab12 page.prn
	{ banner; not_programmed -1; } >"$work/want.out"
	expect 1 "" ""
	;;
write-ng)
	# The printer stored the number but answered otherwise: -1, not printed.
	printer serial_write_garble=15
	station /ab12 page.prn
	serial=$(written)
	{
		banner
		printf 'Current USB Serial Number [ 0000000000000000 ]\r\n'
		printf 'USB Serial Number write NG [ %s ]\r\n' "$serial"
		not_programmed -1
	} >"$work/want.out"
	expect 1 "" "$serial"
	;;
print-stops)
	# Programmed, then the printer takes 5000 of 10000 bytes: the tool exits
	# 0 with "Printer Error...!", and the last line of its output is no
	# "Printing complete...!".
	printer stop_after=5000
	make_file page.prn 10000
	station -cd34 page.prn
	serial=$(written)
	{
		banner
		printf 'Current USB Serial Number [ 0000000000000000 ]\r\n'
		printf 'USB Serial Number write OK [ %s ]\r\n' "$serial"
		banner
		printf 'Printing to P-100\r\nPrinting....(0/10000)\r\r\n'
		stopped "exit value 0: the file did not print completely."
	} >"$work/want.out"
	printf 'Write port error code=121\r\nPrinter Error...!' >"$work/want.err"
	head -c 5000 "$work/page.prn" >"$work/want.received"
	expect 1 "$work/want.received" "$serial"
	;;
refused)
	# Refused before the printer is asked: no print file, the arguments in
	# the wrong order.
	printer
	station /ab12 missing.prn
	stopped "no file $(winepath -w "$work/missing.prn")" >"$work/want.out"
	expect 1 "" ""
	station page.prn /ab12
	printf 'Use: STATION.BAT /LINECODE C:\\path\\file.prn\r\n' >"$work/want.out"
	expect 1 "" ""
	[ ! -e "$sim/events.txt" ] || bad "the printer saw requests: $(cat "$sim/events.txt")"
	;;
*)
	echo "unknown case $case_name"
	exit 2
	;;
esac
[ "$fail" = 0 ] && echo "station $case_name: as expected"
exit "$fail"
