#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# prnfeed prints a sample file to a simulated USB printer; the printer's
# received bytes are compared with the file.
set -eu
cd "$(dirname "$0")/.."
PRNFEED=${PRNFEED:-build/host/prnfeed/prnfeed}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A sample print job: a line of text, a form feed and 10000 random bytes.
printf 'prnfeed demo page\r\n\f' >"$work/page.prn"
head -c 10000 /dev/urandom >>"$work/page.prn"

cat >"$work/printer.txt" <<DESC
windows=xp
interface=usbprint
path=\\\\?\\usb#vid_1a2b&pid_0100#P100A0001#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}
device_id=MFG:Maker;MDL:P-100;CLS:PRINTER;
output=$work/received.bin
summary=$work/summary.txt
DESC

echo "printer description:"
sed 's/^/    /' "$work/printer.txt"
echo
echo "\$ prnfeed page.prn      ($(wc -c <"$work/page.prn") bytes)"
status=0
(cd "$work" && PRNFEED_STANDIN_PRINTER=printer.txt "$OLDPWD/$PRNFEED" page.prn >out.txt) || status=$?
tr '\r' '\n' <"$work/out.txt"
echo "exit value: $status"
echo
echo "printer summary:"
sed 's/^/    /' "$work/summary.txt"
if cmp "$work/page.prn" "$work/received.bin"; then
	echo "the printer received exactly the file's $(wc -c <"$work/received.bin") bytes"
else
	echo "the printer did NOT receive the file's bytes" >&2
	exit 1
fi

echo
scripts/demo-prnfeed-serial.sh
