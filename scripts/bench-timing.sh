# shellcheck shell=bash
# SPDX-License-Identifier: GPL-2.0-only
# Sourced by the benchmarks: timing and peak memory of one command.
#
# time_once <command...>: one run; sets time_ns to its wall time in ns and
# rss_kib to its peak resident set in KiB. Before the run the file named by
# $bench_fresh (if set) is removed; the run's standard output is left in
# $tmp/out. A failing run ends the benchmark with its errors.
#
# run_timed <command...>: $runs runs; prints "ns kib", the best wall time
# and the peak resident set of the last run.

now_ns() { date +%s%N; }

time_once() {
	local t0 t1 dir=${tmp:?}
	if [ -n "${bench_fresh:-}" ]; then rm -f "$bench_fresh"; fi
	t0=$(now_ns)
	/usr/bin/time -o "$dir/rss" -f %M "$@" </dev/null >"$dir/out" 2>"$dir/err" || {
		echo "bench: $* failed:" >&2
		cat "$dir/err" >&2
		exit 1
	}
	t1=$(now_ns)
	time_ns=$((t1 - t0))
	rss_kib=$(tail -n 1 "$dir/rss")
}

run_timed() {
	local best='' i
	for ((i = 0; i < ${runs:?}; i++)); do
		time_once "$@"
		if [ -z "$best" ] || ((time_ns < best)); then best=$time_ns; fi
	done
	echo "$best $rss_kib"
}
