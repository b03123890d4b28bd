#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-only
# Runs the real Windows build of prnfeed under wine against the simulated USB
# printer (sim/wine-printer/: a driver of ours that wine's device host runs behind
# its real SetupAPI and file I/O) and checks exit status, both output streams
# and what the printer received and kept.
#
#   wine-printer.sh <prefix> <prnfeed.exe> <work dir> <case> [<native prnfeed>]
#
# The native build (against the Windows-API stand-in) is for the cases that
# compare the two: given the same printer, both must print the same.
#
# The wine server must run with the driver installed; printer-case.sh sets up
# each case.
#
# Not shown here: that the tool opens device and pipes exclusively. Under
# wine the driver sees no share mode and a second exclusive open never fails,
# so exclusivity stays covered by the Windows-API stand-in's tests.
set -u
# shellcheck source-path=SCRIPTDIR source=printer-case.sh
. "$(dirname "$0")/printer-case.sh"
printer_case "$@"
native=${5:-}

case $case_name in
print-*)
	# The file arrives byte for byte, in writes of 4096 and the rest.
	size=${case_name#print-}
	[ "$size" = 1m ] && size=1048576
	printer
	make_file page.prn "$size"
	run got "$exe" page.prn
	{ banner; job "$size"; complete; } >"$work/want.out"
	: >"$work/want.err"
	expect_run got 0
	expect_same "received data" "$work/page.prn" "$sim/received.bin"
	[ "$(cat "$sim/taken.txt" 2>&1)" = "$size" ] || bad "taken.txt: $(cat "$sim/taken.txt" 2>&1)"
	chunks "$size" >"$work/want.writes"
	events '^write ' >"$work/got.writes"
	expect_same "writes to the printer" "$work/want.writes" "$work/got.writes"
	;;
serial)
	# A blank printer gets line code, date and seconds since midnight; the
	# second run finds it registered and writes no serial number.
	printer
	make_file page.prn 5000
	day_before=$(date +%y%m%d) && now_before=$(date +%s) && midnight=$(date -d 00:00 +%s)
	run first "$exe" /ab12 page.prn
	day_after=$(date +%y%m%d) && now_after=$(date +%s)
	serial=$(sed -n 's/^USB Serial Number write OK \[ \(.*\) \]\r$/\1/p' "$work/first.out")
	case $serial in
	AB12-"$day_before"[0-9][0-9][0-9][0-9][0-9] | AB12-"$day_after"[0-9][0-9][0-9][0-9][0-9]) ;;
	*) bad "serial number [$serial] is not AB12-$day_before<seconds>" ;;
	esac
	if [ -n "$serial" ] && [ "$day_before" = "$day_after" ]; then
		seconds=$((10#${serial:11:5}))
		if [ "$seconds" -lt $((now_before - midnight)) ] || [ "$seconds" -gt $((now_after - midnight)) ]; then
			bad "seconds field $seconds is not the time of the run"
		fi
	fi
	{
		banner
		printf 'Current USB Serial Number [ 0000000000000000 ]\r\n'
		printf 'USB Serial Number write OK [ %s ]\r\n' "$serial"
		job 5000
		complete
	} >"$work/want.out"
	: >"$work/want.err"
	expect_run first 0
	expect_same "received data" "$work/page.prn" "$sim/received.bin"
	printf 'serial=%s\n' "$serial" >"$work/want.state"
	expect_same "kept serial number" "$work/want.state" "$sim/printer.txt.state"
	printf '%s\n' "write out 10 command" "read in 26 -> 26" "write out 26 command" \
		"read in 27 -> 27" >"$work/want.commands"
	events 'command$|^read ' >"$work/got.commands"
	expect_same "serial exchange" "$work/want.commands" "$work/got.commands"

	run second "$exe" /cd34 page.prn
	{
		banner
		printf 'USB Serial Number already registered[ %s ]\r\n' "$serial"
		job 5000
		complete
	} >"$work/want.out"
	expect_run second 0
	expect_same "received data of the second run" "$work/page.prn" "$sim/received.bin"
	expect_same "kept serial number after the second run" "$work/want.state" "$sim/printer.txt.state"
	printf '%s\n' "write out 10 command" "read in 26 -> 26" >"$work/want.commands"
	events 'command$|^read ' >"$work/got.commands"
	expect_same "second serial exchange" "$work/want.commands" "$work/got.commands"
	;;
serial-ng)
	# A printer whose write answer differs in the serial number's last place:
	# without a file, the run fails.
	printer serial_write_garble=15
	run got "$exe" /ab12
	serial=$(sed -n 's/^USB Serial Number write NG \[ \(.*\) \]\r$/\1/p' "$work/got.out")
	{
		banner
		printf 'Current USB Serial Number [ 0000000000000000 ]\r\n'
		printf 'USB Serial Number write NG [ %s ]\r\n' "$serial"
	} >"$work/want.out"
	: >"$work/want.err"
	expect_run got 255
	[ -n "$serial" ] || bad "no write NG line"
	;;
exit-values)
	# Without a file the exit status is the serial step's outcome: 0 for a
	# confirmed write, 1 for a printer that already had its serial number,
	# 255 (-1) when the printer answered short or a pipe did not open.
	printer
	run written "$exe" /ab12
	serial=$(sed -n 's/^USB Serial Number write OK \[ \(.*\) \]\r$/\1/p' "$work/written.out")
	[ -n "$serial" ] || bad "no write OK line"
	{
		banner
		printf 'Current USB Serial Number [ 0000000000000000 ]\r\n'
		printf 'USB Serial Number write OK [ %s ]\r\n' "$serial"
	} >"$work/want.out"
	: >"$work/want.err"
	expect_run written 0
	[ ! -e "$sim/received.bin" ] || [ ! -s "$sim/received.bin" ] || bad "print data was sent"

	run registered "$exe" -cd34
	{
		banner
		printf 'USB Serial Number already registered[ %s ]\r\n' "$serial"
	} >"$work/want.out"
	expect_run registered 1
	printf 'serial=%s\n' "$serial" >"$work/want.state"
	expect_same "kept serial number" "$work/want.state" "$sim/printer.txt.state"

	rm -f "$sim/printer.txt.state"
	printer serial_read_reply_length=10
	run short "$exe" /ab12
	banner >"$work/want.out"
	printf 'Read port error code=0.\r\n' >"$work/want.err"
	expect_run short 255
	for pipe in out:00 in:01; do
		printer "${pipe%:*}_open_fail_from=1"
		run "${pipe%:*}-pipe" "$exe" /ab12
		banner >"$work/want.out"
		printf 'Open port \\\\.\\SimPrinter0 \\PIPE%s error.\r\n' "${pipe#*:}" >"$work/want.err"
		expect_run "${pipe%:*}-pipe" 255
	done
	[ ! -e "$sim/printer.txt.state" ] || bad "a serial number was stored"
	;;
control-bytes)
	# The printer name and a kept serial number hold control bytes, among
	# them text that reads like the tool's own line: each control byte
	# shows as '?', every other byte as sent.
	printf 'device_id=MFG:Maker;MDL:P\r\033[2KUSB Serial Number write OK [ X ]\177\200\377;\n' \
		>"$sim/printer.txt"
	printf 'serial=A%%0Awrite%%20OK%%20[%%20X%%20]\n' >"$sim/printer.txt.state"
	make_file page.prn 100
	run got "$exe" /ab12 page.prn
	{
		banner
		printf 'USB Serial Number already registered[ A?write OK [ X ] ]\r\n'
		job 100 "$(printf 'P??[2KUSB Serial Number write OK [ X ]?\200\377')"
		complete
	} >"$work/want.out"
	: >"$work/want.err"
	expect_run got 0
	expect_same "received data" "$work/page.prn" "$sim/received.bin"
	;;
no-printer | refused-description)
	# Listed, but the device does not open: the tool finds no printer. A
	# description the driver refuses attaches no printer either.
	if [ "$case_name" = no-printer ]; then printer attached=0; else printer colour=1; fi
	make_file page.prn 100
	run got "$exe" page.prn
	banner >"$work/want.out"
	printf '\tPrinter is not ready!\r\n' >"$work/want.err"
	expect_run got 255
	[ "$(events '^open ')" = "" ] || bad "something opened: $(cat "$sim/events.txt")"
	[ ! -s "$sim/received.bin" ] || bad "the printer received data"
	if [ "$case_name" = refused-description ]; then
		why=$(events '^refused printer')
		[ "$why" = "refused printer.txt:2: unknown setting colour" ] || bad "refusal logged: $why"
	fi
	;;
stops)
	# The printer takes 5000 bytes and then no more: the second write times out.
	printer stop_after=5000
	make_file page.prn 10000
	run got "$exe" page.prn
	{
		banner
		printf 'Printing to P-100\r\nPrinting....(0/10000)\r\r\n'
	} >"$work/want.out"
	printf 'Write port error code=121\r\nPrinter Error...!' >"$work/want.err"
	expect_run got 0
	head -c 5000 "$work/page.prn" >"$work/want.received"
	expect_same "received data" "$work/want.received" "$sim/received.bin"
	;;
refused-line-code | long-argument)
	# Refused before the printer is asked: nothing reaches the driver.
	printer
	make_file page.prn 100
	banner >"$work/want.out"
	if [ "$case_name" = refused-line-code ]; then
		run got "$exe" "/ab 1" page.prn
		printf '\tLine code not usable for a serial number...(/ab 1)\r\n' >"$work/want.err"
	else
		long="$(printf 'f%.0s' $(seq 252)).prn"
		run got "$exe" "$long" /ab12
		printf '\tArgument too long...(%s)\r\n' "$long" >"$work/want.err"
	fi
	expect_run got 255
	[ ! -e "$sim/events.txt" ] || bad "the printer saw requests: $(cat "$sim/events.txt")"
	[ ! -e "$sim/printer.txt.state" ] || bad "a serial number was stored"
	;;
short-reply)
	# The printer answers the read command with 10 of its 26 bytes: a read
	# that succeeds short, shown with the last error, which the successful
	# open of the input pipe left at 0. The serial step ends there; the print
	# job follows.
	printer serial_read_reply_length=10
	make_file page.prn 100
	run got "$exe" /ab12 page.prn
	{ banner; job 100; complete; } >"$work/want.out"
	printf 'Read port error code=0.\r\n' >"$work/want.err"
	expect_run got 0
	printf '%s\n' "write out 10 command" "read in 26 -> 10" >"$work/want.commands"
	events 'command$|^read ' >"$work/got.commands"
	expect_same "serial exchange" "$work/want.commands" "$work/got.commands"
	# The native build with the same printer prints the same, line ends apart.
	[ -x "$native" ] || { bad "no native prnfeed given"; exit 1; }
	cp "$sim/printer.txt" "$work/native.txt" || exit 1
	(cd "$work" && PRNFEED_STANDIN_PRINTER=native.txt "$native" /ab12 page.prn \
		</dev/null >native.out 2>native.err)
	rc=$?
	[ "$rc" = 0 ] || bad "native: exit status $rc"
	for stream in out err; do
		sed 's/\r$//' "$work/got.$stream" >"$work/want.native.$stream"
		expect_same "native std$stream" "$work/want.native.$stream" "$work/native.$stream"
	done
	;;
alt-class)
	# Windows 98 (the prefix's setting for prnfeed98.exe): the alternative
	# driver's class comes first, with its set-up and device-ID requests.
	printer
	make_file page.prn 4097
	cp "$exe" "$work/prnfeed98.exe" || exit 1
	run got "$work/prnfeed98.exe" page.prn
	{ banner PRNFEED98; job 4097; complete; } >"$work/want.out"
	: >"$work/want.err"
	expect_run got 0
	expect_same "received data" "$work/page.prn" "$sim/received.bin"
	printf '%s\n' "ioctl 0x220018 -> 8" "ioctl 0x220010 -> $((${#ID} + 2))" >"$work/want.ioctls"
	events '^ioctl ' >"$work/got.ioctls"
	expect_same "device requests" "$work/want.ioctls" "$work/got.ioctls"
	;;
*)
	echo "unknown case $case_name"
	exit 2
	;;
esac
[ "$fail" = 0 ] && echo "$case_name: as expected"
exit "$fail"
