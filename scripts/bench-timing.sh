# shellcheck shell=bash
# SPDX-License-Identifier: GPL-2.0-only
# Sourced by the benchmarks: timing and peak memory of one command.
#
# run_timed <command...>: best wall time of $runs runs in ns and the peak
# resident set of the last run in KiB, as "ns kib". Before each run the file
# named by $bench_fresh (if set) is removed; the last run's standard output
# is left in $tmp/out. A failing run ends the benchmark with its errors.

now_ns() { date +%s%N; }

run_timed() {
	local best='' t0 t1 i dir=${tmp:?}
	for ((i = 0; i < ${runs:?}; i++)); do
		if [ -n "${bench_fresh:-}" ]; then rm -f "$bench_fresh"; fi
		t0=$(now_ns)
		/usr/bin/time -o "$dir/rss" -f %M "$@" </dev/null >"$dir/out" 2>"$dir/err" || {
			echo "bench: $* failed:" >&2
			cat "$dir/err" >&2
			exit 1
		}
		t1=$(now_ns)
		if [ -z "$best" ] || ((t1 - t0 < best)); then best=$((t1 - t0)); fi
	done
	echo "$best $(tail -n 1 "$dir/rss")"
}
