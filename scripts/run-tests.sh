#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# Runs CTest suites quietly: the full output of each goes to one log file,
# the terminal gets one line per failing test and a final verdict.
#
#   run-tests.sh <log file> <name>=<ctest arguments> ...
#
# e.g. run-tests.sh build/test.log "unit=--preset unit" "real-target=--preset real-target"
# Exits 0 when every suite passed (skipped tests do not fail a suite).
set -u
log=${1:?usage: run-tests.sh <log file> <name>=<ctest arguments> ...}
shift
mkdir -p "$(dirname "$log")"
: >"$log"

verdict=""
failed=0
for suite in "$@"; do
	name=${suite%%=*}
	args=${suite#*=}
	part=$log.$name
	echo "== tests: $name (ctest $args)" >>"$log"
	# shellcheck disable=SC2086 # the arguments are split on purpose
	ctest $args --output-on-failure >"$part" 2>&1
	status=$?
	cat "$part" >>"$log"
	total=$(sed -n 's/.*tests passed, [0-9]* tests\{0,1\} failed out of \([0-9]*\).*/\1/p' "$part" | tail -n 1)
	bad=$(sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of.*/\1/p' "$part" | tail -n 1)
	skipped=$(sed -n '/The following tests did not run:/,/^$/p' "$part" | grep -c '(Skipped)')
	# Failing tests are listed as "<number> - <name> (<reason>)".
	sed -n '/The following tests FAILED:/,/^$/s/^[[:space:]]*[0-9]* - \(.*\)$/FAILED \1/p' "$part"
	# and what each failing test printed (its first 40 lines with text), so that a
	# failure seen only in the terminal (as in CI) still says what went wrong
	awk '/^ *Start +[0-9]+: |^ *[0-9]+\/[0-9]+ Test +#|^[0-9]+% tests passed/ { shown = 0 }
		shown && $0 != "" && shown++ <= 40 { print "  | " $0 }
		/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: .*\*\*\*(Failed|Timeout|Exception|Not Run)/ { print "output of" substr($0, index($0, ":") + 1); shown = 1 }' "$part"
	if [ -z "$total" ]; then
		rm -f "$part"
		echo "FAILED $name: CTest did not run (see $log)"
		failed=1
		verdict="$verdict${verdict:+; }$name: did not run"
		continue
	fi
	# Skipped tests print their reason only when run verbosely: show the
	# first one's, so that the summary says why.
	if [ "$skipped" -gt 0 ]; then
		first=$(sed -n '/The following tests did not run:/,/^$/s/^[[:space:]]*[0-9]* - \(.*\) (Skipped)$/\1/p' "$part" | head -n 1)
		# shellcheck disable=SC2086 # the arguments are split on purpose
		why=$(ctest $args -R "^$first\$" -FA '.*' -V 2>&1 | sed -n 's/^.*SKIPPED: //p' | head -n 1)
		echo "skipped in $name: $skipped tests, e.g. $first${why:+: $why}"
	fi
	rm -f "$part"
	passed=$((total - bad - skipped))
	entry="$name $passed passed"
	[ "$skipped" -gt 0 ] && entry="$entry, $skipped skipped"
	[ "$bad" -gt 0 ] && entry="$entry, $bad FAILED"
	verdict="$verdict${verdict:+; }$entry"
	if [ "$status" -ne 0 ] || [ "$bad" -gt 0 ]; then failed=1; fi
done

if [ "$failed" -eq 0 ]; then
	echo "tests: $verdict -- all passed (full output: $log)"
else
	echo "tests: $verdict -- FAILED (full output: $log)"
fi
exit "$failed"
