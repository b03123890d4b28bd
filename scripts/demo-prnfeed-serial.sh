#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# A blank simulated printer gets its USB serial number from line code /ab12,
# then prints a file; a second run finds the printer already registered.
# Needs build/host (the native prnfeed against the Windows-API stand-in).
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
prnfeed="${PRNFEED:-build/host/prnfeed/prnfeed}"
case "$prnfeed" in /*) ;; *) prnfeed="$root/$prnfeed" ;; esac
[ -x "$prnfeed" ] || { echo "build/host is not built: $prnfeed" >&2; exit 1; }

work="$(mktemp -d)"
trap 'cd /; rm -rf "$work"' EXIT
cd "$work"   # file names are relative: on this host '/...' reads as a line code

printf 'Line one of the demo job.\nLine two.\n' > job.txt
cat > printer.txt <<EOF
interface=usbprint
path=\\\\?\\usb#vid_1a2b&pid_0100#P100A0001#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}
device_id=MFG:Maker;MDL:P-100;CLS:PRINTER;
output=$work/received.bin
EOF

run() {
	echo "\$ prnfeed $*"
	status=0
	PRNFEED_STANDIN_PRINTER="$work/printer.txt" "$prnfeed" "$@" || status=$?
	echo "(exit $status)"
}

# The print data that reached the printer is the file, with no escape
# command mixed in.
check_received() {
	if ! cmp -s job.txt received.bin; then
		echo "printer data differs from job.txt" >&2
		exit 1
	fi
	echo "printer received exactly the $(wc -c < job.txt) bytes of job.txt, no escape command among them"
}

echo "--- first run: the printer is blank"
run /ab12 job.txt
check_received
echo "the printer now holds (printer.txt.state): $(cat printer.txt.state)"

echo
echo "--- second run: same printer, same line code"
run /ab12 job.txt
check_received
