#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# Runs one test program under valgrind memcheck, its child processes too
# (quenzor runs with the SPI stand-in preloaded), and fails on anything
# memcheck reports: invalid or uninitialised reads and writes, a leaked
# block, or a file descriptor a process opened and left open at exit.
# Shells and the board emulator are not checked (they are not ours).
#
#   memcheck.sh <program> [arguments]
#
# Each process's report goes to a file of its own, so that what the program
# prints (and what the tests compare) is unchanged.
set -u
prog=${1:?usage: memcheck.sh <program> [arguments]}
logs=$(mktemp -d "${TMPDIR:-/tmp}/memcheck.XXXXXX")
trap 'rm -rf "$logs"' EXIT

valgrind --tool=memcheck --log-file="$logs/%p.log" --error-exitcode=99 \
	--trace-children=yes --trace-children-skip='*/sh,*/bash,*/dash,*/env,*qemu-*,*/run-board,*/valgrind*' \
	--leak-check=full --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect \
	--track-fds=yes --track-origins=yes --num-callers=30 "$@"
status=$?

bad=0
for f in "$logs"/*.log; do
	[ -f "$f" ] || continue
	errors=$(sed -n 's/.*ERROR SUMMARY: \([0-9]*\) errors.*/\1/p' "$f" | tail -n 1)
	# An open descriptor that the process did not inherit is one it leaked.
	leaked=$(awk '/Open file descriptor/ { d = $0; getline; if ($0 !~ /inherited from parent/) print d }' "$f")
	if [ "${errors:-0}" != 0 ] || [ -n "$leaked" ]; then
		bad=1
		echo "memcheck: report of one process ($(sed -n 's/.*Command: //p' "$f" | head -n 1)):"
		cat "$f"
	fi
done
if [ "$status" -ne 0 ]; then
	echo "memcheck: $prog exited with $status"
	exit 1
fi
exit "$bad"
