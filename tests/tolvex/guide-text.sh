#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# Prints a piece of the user's guide's minimal tolvex program, so that tests
# build and run the very text a board user copies out of the guide:
#
#   guide-text.sh source <guide>   the C source, without the guide's indent
#   guide-text.sh output <guide>   the line the guide shows the program
#                                  printing (the line after "  # ./portf")
set -eu
[ $# = 2 ] || { echo "usage: guide-text.sh source|output <guide>" >&2; exit 2; }
case "$1" in
source)
	text=$(awk '/^  #include <errno.h>/ { f = 1 } f { print substr($0, 3) } f && /^  }$/ { exit }' "$2")
	;;
output)
	text=$(awk 'f { print substr($0, 3); exit } /^  # \.\/portf$/ { f = 1 }' "$2" | tr -d '\r')
	;;
*)
	echo "guide-text.sh: unknown piece $1" >&2
	exit 2
	;;
esac
[ -n "$text" ] || { echo "guide-text.sh: no $1 in $2" >&2; exit 1; }
printf '%s\n' "$text"
