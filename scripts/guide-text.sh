#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# Prints a piece of the user's guide (packaging/README.txt, or dist/README.txt
# with its CRLF line ends), without the guide's indent: make dist ships
# station.bat from it, and the tests build and run the very text a user
# copies out of the guide.
#
#   guide-text.sh <piece> <guide>
#
#   station     STATION.BAT as quoted (the block from "  @ECHO OFF" to the
#               next empty line, quoted exactly once), with CRLF line ends
#   source      the minimal tolvex program's C source
#   build       the command that builds it (the line "  board/board-gcc ...")
#   output      the line the guide shows it printing (after "  # ./portf")
#   rebuild     the commands of "Building the module for another board kernel
#               tree" (lines "  $ <command>"), one a line, each followed by
#               what the guide shows it printing, as lines "> <text>"
#   verdicts    quenzor's two verdict lines, success first
#   check       the script line that finds quenzor's verdict ("quenzor ... | grep ...")
#   loopback    the loopback recipe (from "quenzor ... &" to its last line)
#   loopback-output   the line the guide shows the recipe ending with
set -eu
[ $# = 2 ] || { echo "usage: guide-text.sh <piece> <guide>" >&2; exit 2; }
# shellcheck disable=SC2016 # awk programs, in single quotes
case "$1" in
station) prog='/^  @ECHO OFF$/ { f = 1 } f && /^$/ { exit } f { print substr($0, 3) }' ;;
source) prog='/^  #include <errno.h>/ { f = 1 } f { print substr($0, 3) } f && /^  }$/ { exit }' ;;
build) prog='/^  board\/board-gcc / { print substr($0, 3); exit }' ;;
output) prog='f { print substr($0, 3); exit } /^  # \.\/portf$/ { f = 1 }' ;;
rebuild)
	prog='/^[0-9.]+ Building the module for another board kernel tree$/ { f = 1; next }
		f && /^[0-9]+(\.[0-9]+)? [A-Z]/ { exit }
		f && /^  \$ / { print substr($0, 5); cmd = 1; next }
		f && cmd && /^  [^ ]/ { print "> " substr($0, 3); next }
		{ cmd = 0 }'
	;;
verdicts) prog='/^  (Coool|XXXXX Ooops)!! / { print substr($0, 3); if (++n == 2) exit }' ;;
check) prog='/^  quenzor .*\| *grep / { print substr($0, 3); exit }' ;;
loopback) prog='/^  quenzor [^&|]*& / { f = 1 } f && !/^  / { exit } f { print substr($0, 3) }' ;;
loopback-output)
	prog='/^  quenzor [^&|]*& / { f = 1 } f == 1 && !/^  / { f = 2 }
		f == 2 && /^  [^ ]/ { print substr($0, 3); exit }'
	;;
*)
	echo "guide-text.sh: unknown piece $1" >&2
	exit 2
	;;
esac
if [ "$1" = station ]; then
	n=$(tr -d '\r' <"$2" | grep -c '^  @ECHO OFF$' || true)
	[ "$n" = 1 ] || { echo "guide-text.sh: $2 quotes STATION.BAT $n times, not once" >&2; exit 1; }
fi
text=$(tr -d '\r' <"$2" | awk "$prog")
[ -n "$text" ] || { echo "guide-text.sh: no $1 in $2" >&2; exit 1; }
if [ "$1" = station ]; then
	printf '%s\n' "$text" | sed 's/$/\r/'
else
	printf '%s\n' "$text"
fi
