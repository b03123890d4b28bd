#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-only
# A fuzzing campaign: every harness of the fuzz build for a given time, from
# its committed corpus plus what earlier campaigns found. New inputs and
# findings stay under the build tree:
#   build/fuzz/campaign/<name>/corpus     inputs that reached new coverage
#   build/fuzz/campaign/<name>/findings   crashes, leaks, time-outs (reproduce:
#                                         build/fuzz/tests/fuzz/fuzz_<name> <file>)
#   build/fuzz/campaign/<name>/log        libFuzzer's output
# One summary line per harness; exits 1 when any harness found something.
#
#   scripts/fuzz.sh <fuzz build dir> <seconds per harness> [harness name ...]
set -euo pipefail

build=${1:?usage: fuzz.sh <fuzz build dir> <seconds> [harness ...]}
seconds=${2:?usage: fuzz.sh <fuzz build dir> <seconds> [harness ...]}
shift 2
list=$build/tests/fuzz/harnesses.txt
[ -f "$list" ] || { echo "fuzz: $list missing (make fuzz builds it)" >&2; exit 1; }
build=$(cd "$build" && pwd)

found=0
while read -r tool name exe corpus; do
	if [ $# -gt 0 ] && ! printf '%s\n' "$@" | grep -qx "$name"; then continue; fi
	dir=$build/campaign/$name
	mkdir -p "$dir/corpus" "$dir/findings" "$dir/run"
	status=0
	# Findings of earlier campaigns stay in findings/ but are not this one's.
	touch "$dir/run/.start"
	# From a folder of its own: a whole prnfeed run writes files where it stands.
	(cd "$dir/run" && "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
		-print_final_stats=1 -artifact_prefix="$dir/findings/" \
		"$dir/corpus" "$corpus") >"$dir/log" 2>&1 || status=$?
	execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -n 1)
	cov=$(grep -o 'cov: [0-9]*' "$dir/log" | tail -n 1 | cut -d' ' -f2)
	ft=$(grep -o 'ft: [0-9]*' "$dir/log" | tail -n 1 | cut -d' ' -f2)
	findings=$(find "$dir/findings" -type f -newer "$dir/run/.start" | wc -l)
	earlier=$(find "$dir/findings" -type f ! -newer "$dir/run/.start" | wc -l)
	line="fuzz: $tool/$name: ${execs:-?} executions in ${seconds} s, coverage ${cov:-?} edges (${ft:-?} features), corpus $(find "$dir/corpus" -type f | wc -l) new inputs, $findings findings"
	[ "$earlier" = 0 ] || line="$line ($earlier of earlier campaigns still in $dir/findings)"
	if [ "$status" -ne 0 ] || [ "$findings" -gt 0 ]; then
		found=1
		echo "$line -- FOUND (see $dir/log; reproduce: $exe <file in $dir/findings>)"
	else
		echo "$line"
	fi
done <"$list"
exit "$found"
