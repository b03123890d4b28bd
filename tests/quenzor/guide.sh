#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# quenzor's part of the user's guide, run as written: its verdict lines, the
# script line that finds the verdict and the loopback recipe, with the board
# binary under the board's emulator and the SPI driver stand-in in place of
# the board's driver (a receive gets the test pattern from the peer when
# SPI_STANDIN_RX=pattern, nothing when none):
#
#   guide.sh <guide-text.sh> <guide> <arm install tree> <work folder>
set -eu
text=$1
guide=$2
arm=$3
work=$4
fail() {
	echo "guide: $*" >&2
	exit 1
}
rm -rf "$work"
mkdir -p "$work/bin"
cd "$work"
# "quenzor" as the guide's commands call it.
printf '#!/bin/sh\nexec "%s" -E LD_PRELOAD="%s" "%s" "$@"\n' "$arm/stand-in/run-board" \
	"$arm/stand-in/libspistandin.so" "$arm/quenzor" >bin/quenzor
chmod +x bin/quenzor
PATH=$work/bin:$PATH
export SPI_STANDIN_RX

# Each verdict line is followed by four empty lines, which end the output.
"$text" verdicts "$guide" >lines
for rx in pattern none; do
	SPI_STANDIN_RX=$rx
	quenzor 64 1 1 0 >out
	line=$(if [ $rx = pattern ]; then sed -n 1p lines; else sed -n 2p lines; fi)
	printf '%s\n\n\n\n\n' "$line" >want
	tail -n 5 out | cmp -s - want || fail "with $rx the output does not end in: $line and four empty lines"
done

# The script line succeeds, and prints, only after a good receive.
check=$("$text" check "$guide")
SPI_STANDIN_RX=pattern
[ -n "$(sh -c "$check")" ] || fail "$check: no output after a good receive"
SPI_STANDIN_RX=none
if out=$(sh -c "$check"); then fail "$check: succeeded after a failed receive"; fi
[ -z "$out" ] || fail "$check: printed $out after a failed receive"

# The recipe ends with the line the guide shows.
SPI_STANDIN_RX=pattern
"$text" loopback "$guide" >recipe
sh recipe >out
[ "$(tail -n 1 out)" = "$("$text" loopback-output "$guide")" ] ||
	fail "the loopback recipe ended with: $(tail -n 1 out)"
echo "guide: quenzor's verdicts, script line and loopback recipe as shown"
