#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-only
# Runs STATION.BAT, as the user's guide quotes it and make dist ships it,
# under wine's cmd.exe beside the real prnfeed.exe, against the simulated USB
# printer: what the batch file reports (with the exit value as cmd shows it),
# its own exit value, both output streams, what the printer received and the
# serial number it keeps.
#
#   wine-station.sh <prefix> <prnfeed.exe> <work dir> <case> <guide>
#
# STATION.BAT uses cmd's built-ins only (FOR /F reads the last line): wine's
# findstr (8.0) ends with 0 whether it finds the text or not, so a batch file
# that relied on it would pass here and prove nothing.
#
# Case guide runs the guide's own commands, as it shows them, from a batch
# file in C:\KIT with the print files in C:\JOBS.
set -u
# shellcheck source-path=SCRIPTDIR source=printer-case.sh
. "$(dirname "$0")/printer-case.sh"
printer_case "$@"
kit=$work/kit
mkdir -p "$kit" && cp "$exe" "$kit/PRNFEED.EXE" || exit 1
"$(dirname "$0")/../../../scripts/guide-text.sh" station "${5:?guide}" >"$kit/STATION.BAT" || exit 1
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
	AB12-"$day"????? | AB12-"$(date +%y%m%d)"?????) ;;
	*) bad "serial number [$serial] is not AB12-$day<seconds>" ;;
	esac
	{
		banner PRNFEED
		printf 'Current USB Serial Number [ 0000000000000000 ]\r\n'
		printf 'USB Serial Number write OK [ %s ]\r\n' "$serial"
		banner PRNFEED
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
		banner PRNFEED
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
		printer in_open_fail_from=1
		printf 'Open port \\\\.\\SimPrinter0 \\PIPE01 error.\r\n' >"$work/want.err"
		;;
	short-reply)
		printer serial_read_reply_length=10
		printf 'Read port error code=0.\r\n' >"$work/want.err"
		;;
	esac
	station /ab12 page.prn
	{ banner PRNFEED; not_programmed -1; } >"$work/want.out"
	expect 1 "" ""
	;;
write-ng)
	# The printer stored the number but answered otherwise: -1, not printed.
	printer serial_write_garble=15
	station /ab12 page.prn
	serial=$(written)
	{
		banner PRNFEED
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
		banner PRNFEED
		printf 'Current USB Serial Number [ 0000000000000000 ]\r\n'
		printf 'USB Serial Number write OK [ %s ]\r\n' "$serial"
		banner PRNFEED
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
guide)
	# Each row: the printer blank, as the row before left it (kept) or blank
	# with one setting; the command (run in C:\KIT, followed by the guide's
	# test of the exit value); the text the guide shows of it; the tool's last
	# line, from standard output or error ('*' for any text); what the batch
	# file then reports; the file the printer received (- for none).
	kit_c=$WINEPREFIX/drive_c/KIT jobs=$WINEPREFIX/drive_c/JOBS
	trap 'rm -rf "$sim/printer.txt" "$kit_c" "$jobs"' EXIT
	rm -rf "$kit_c" "$jobs" && mkdir -p "$kit_c" "$jobs" || exit 1
	cp "$kit/PRNFEED.EXE" "$kit/STATION.BAT" "$kit_c/" || exit 1
	make_file label.prn 5000 && cp "$work/label.prn" "$jobs/LABEL.PRN" || exit 1
	make_file dash.prn 300 && cp "$work/dash.prn" "$jobs/-LABEL.PRN" || exit 1
	printer
	caught() { printf 'exit=%s, caught' "$1"; }
	long="C:\\JOBS\\$(printf 'f%.0s' $(seq 245)).PRN"
	while IFS='|' read -r state command quote stream last report received; do
		case $state in
		kept) ;;
		blank) rm -f "$sim/printer.txt.state" && printer ;;
		*) rm -f "$sim/printer.txt.state" && printer "$state" ;;
		esac
		printf '%s\r\n' '@ECHO OFF' 'CD /D C:\KIT' "$command" 'IF %ERRORLEVEL% NEQ 0 GOTO FAILED' \
			'ECHO exit=%ERRORLEVEL%' 'EXIT /B 0' ':FAILED' 'ECHO exit=%ERRORLEVEL%, caught' \
			'IF ERRORLEVEL 1 ECHO IF ERRORLEVEL 1 too' >"$kit_c/GUIDE.BAT"
		run got cmd /c 'C:\KIT\GUIDE.BAT'
		tr -d '\r' <"$work/got.out" >"$work/out" && tr -d '\r' <"$work/got.err" >"$work/err"
		got_report=$(grep -E '^(exit=|IF ERRORLEVEL)' "$work/out" | paste -sd ' ')
		got_last=$(grep -vE '^(exit=|IF ERRORLEVEL|$)' "$work/$stream" | tail -n 1)
		grep -qF "$quote" "$5" || bad "$command: the guide does not show $quote"
		# The last line: '*' stands for any text, every other character for itself.
		pattern=$(printf '%s' "$last" | sed 's/[][\\?]/\\&/g')
		# shellcheck disable=SC2254 # a pattern
		case $got_last in $pattern) ;; *) bad "$command: last line on std$stream [$got_last]" ;; esac
		[ "$got_report" = "$report" ] || bad "$command: the batch file reports [$got_report], not [$report]"
		if [ "$received" != - ]; then
			expect_same "$command: received data" "$work/$received" "$sim/received.bin"
		elif [ -s "$sim/received.bin" ]; then
			bad "$command: the printer received print data"
		fi
	done <<-ROWS
		blank|PRNFEED.EXE C:\JOBS\LABEL.PRN|PRNFEED.EXE C:\JOBS\LABEL.PRN |out|Printing complete...!|exit=0|label.prn
		blank|PRNFEED.EXE /AB12|PRNFEED.EXE /AB12 |out|USB Serial Number write OK [ AB12-* ]|exit=0|-
		kept|PRNFEED.EXE /AB12|PRNFEED.EXE /AB12 |out|USB Serial Number already registered[ AB12-* ]|$(caught 1) IF ERRORLEVEL 1 too|-
		blank|PRNFEED.EXE C:\JOBS\LABEL.PRN /AB12|PRNFEED.EXE C:\JOBS\LABEL.PRN /AB12 |out|Printing complete...!|exit=0|label.prn
		blank|PRNFEED.EXE -LABEL.PRN|"PRNFEED.EXE -LABEL.PRN"|out|USB Serial Number write OK [ .PRN-* ]|exit=0|-
		blank|PRNFEED.EXE C:\JOBS\-LABEL.PRN|"PRNFEED.EXE C:\JOBS\-LABEL.PRN"|out|Printing complete...!|exit=0|dash.prn
		blank|CD /D C:\JOBS & C:\KIT\PRNFEED.EXE .\-LABEL.PRN|.\-LABEL.PRN in a prompt|out|Printing complete...!|exit=0|dash.prn
		blank|PRNFEED.EXE /?|"PRNFEED.EXE /?"|out|USB Serial Number write OK [ 000?-* ]|exit=0|-
		blank|PRNFEED.EXE C:\JOBS\NONE.PRN C:\JOBS\LABEL.PRN|the second file is printed|out|Printing complete...!|exit=0|label.prn
		out_open_fail_from=1|PRNFEED.EXE C:\JOBS\LABEL.PRN|Open port ... error.|err|Open port \\\\.\SimPrinter0 \PIPE00 error.|$(caught -1)|-
		blank|PRNFEED.EXE C:\JOBS\NONE.PRN|File open error...(name)|err|	File open error...(C:\JOBS\NONE.PRN)|$(caught -1)|-
		blank|PRNFEED.EXE "/AB 1"|Line code not usable for a serial number...(code)|err|	Line code not usable for a serial number...(/AB 1)|$(caught -1)|-
		blank|PRNFEED.EXE $long|Argument too long...(arg)|err|	Argument too long...($long)|$(caught -1)|-
		blank|PRNFEED.EXE|the three usage lines|err|	    or PRNFEED.EXE </LINECODE>|$(caught -1)|-
		blank|CALL C:\KIT\STATION.BAT /AB12 C:\JOBS\LABEL.PRN|  C:\KIT\STATION.BAT /AB12 C:\JOBS\LABEL.PRN|out|STATION: DONE, serial number programmed and file printed.|exit=0|label.prn
	ROWS
	;;
*)
	echo "unknown case $case_name"
	exit 2
	;;
esac
[ "$fail" = 0 ] && echo "station $case_name: as expected"
exit "$fail"
