#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# Prints STATION.BAT as the user's guide quotes it (section 1.5), without the
# guide's indent and with CRLF line ends: the guide holds the one text, and
# make dist and the station tests take the file from it.
#
#   station-bat.sh <guide>      (packaging/README.txt or dist/README.txt)
#
# The quoted file is the indented block that starts with "  @ECHO OFF" and
# ends before the next empty line.
set -eu
[ $# = 1 ] || { echo "usage: station-bat.sh <guide>" >&2; exit 2; }
n=$(awk '/^  @ECHO OFF\r*$/ { n++ } END { print n + 0 }' "$1")
[ "$n" = 1 ] || { echo "station-bat.sh: $1 quotes STATION.BAT $n times, not once" >&2; exit 1; }
awk '/^  @ECHO OFF\r*$/ { f = 1 } f && /^\r*$/ { exit } f { print substr($0, 3) }' "$1" |
	sed 's/\r*$/\r/'
