#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-only
# Runs the Windows build of prnfeed under wine with no printer attached and
# compares its exit status and both output streams byte for byte.
#
#   wine-smoke.sh <prefix> <prnfeed.exe> <work dir> <case>
#
# The wine server must already run (wine-fixture.sh start). Output goes to
# files, never to the runner's pipe. The console C runtime writes in text mode,
# so every line feed of the program reaches the stream as CR LF.
set -u
# shellcheck source-path=SCRIPTDIR source=wine-env.sh
. "$(dirname "$0")/wine-env.sh"
use_wine_prefix "$1"
skip_unless_wine_runs
exe=$2
work=$3/$4
case_name=$4

if [ ! -f "$exe" ]; then
	echo "$exe does not exist: build the win32 preset first"
	exit 1
fi
rm -rf "$work" && mkdir -p "$work" || exit 1

usage() {
	printf '\tUsage: %s.EXE [filename.ext]\r\n' "$1"
	printf '\t    or %s.EXE [filename.ext] </LINECODE>\r\n' "$1"
	printf '\t    or %s.EXE </LINECODE>\r\n' "$1"
}
not_ready() { printf '\tPrinter is not ready!\r\n'; }

run=$exe
args=()
case $case_name in
usage)
	want_rc=255
	banner PRNFEED >"$work/want.out"
	usage PRNFEED >"$work/want.err"
	;;
usage-renamed)
	# The banner shows the base name the executable was started under:
	# no directory, no extension after the last dot, upper-cased.
	run=$work/feed.v2.exe
	cp "$exe" "$run" || exit 1
	want_rc=255
	banner FEED.V2 >"$work/want.out"
	usage FEED.V2 >"$work/want.err"
	;;
no-printer)
	# An existing file: the run must stop at the printer query all the same.
	printf 'data\n' >"$work/page.prn"
	args=(page.prn)
	want_rc=255
	banner PRNFEED >"$work/want.out"
	not_ready >"$work/want.err"
	;;
line-code-no-printer)
	args=(/ab12 missing.prn)
	want_rc=255
	banner PRNFEED >"$work/want.out"
	not_ready >"$work/want.err"
	;;
argument-255)
	# The longest argument that fits the 256-byte buffers is taken whole.
	args=("$(printf 'f%.0s' $(seq 251)).prn")
	want_rc=255
	banner PRNFEED >"$work/want.out"
	not_ready >"$work/want.err"
	;;
argument-256)
	# One character more is refused before the printer is queried: a cut
	# name would print another file.
	long="$(printf 'f%.0s' $(seq 252)).prn"
	args=("$long")
	want_rc=255
	banner PRNFEED >"$work/want.out"
	printf '\tArgument too long...(%s)\r\n' "$long" >"$work/want.err"
	;;
*)
	echo "unknown case $case_name"
	exit 2
	;;
esac

# File names are given relative to the work directory: an absolute Unix path
# starts with '/' and would count as a line code.
cd "$work" || exit 1
timeout 60 wine "$run" "${args[@]}" </dev/null >"$work/got.out" 2>"$work/got.err"
rc=$?

[ "$rc" = "$want_rc" ] || bad "exit status $rc, expected $want_rc"
expect_same stdout "$work/want.out" "$work/got.out"
expect_same stderr "$work/want.err" "$work/got.err"
[ "$fail" = 0 ] && echo "$case_name: exit $rc, stdout and stderr as expected"
exit "$fail"
