# shellcheck shell=sh
# SPDX-License-Identifier: GPL-2.0-only
# Sourced by the wine test scripts. use_wine_prefix <dir>: wine runs headless,
# silent and in a prefix of its own inside the build tree, so nothing of the
# user's own wine set-up takes part in a test.
use_wine_prefix() {
	WINEPREFIX=$1
	WINEARCH=win32
	WINEDEBUG=-all
	# No .NET or HTML engine install attempts while the prefix is created.
	WINEDLLOVERRIDES="mscoree,mshtml="
	export WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES
	unset DISPLAY WAYLAND_DISPLAY
}

# Exit status of a wine test that cannot run on this machine (CTest
# SKIP_RETURN_CODE).
WINE_SKIP=77

# skip_unless_wine_runs: ends the calling test as skipped, with the reason,
# when this machine cannot start wine's 32-bit loader (a kernel without
# 32-bit x86 execution answers "Exec format error").
skip_unless_wine_runs() {
	if ! reason=$(wine --version 2>&1 </dev/null); then
		echo "SKIPPED: wine cannot run on this machine: $reason"
		exit "$WINE_SKIP"
	fi
}

# What the tests compare: the banner of the executable started as <name>
# (PRNFEED by default), as it reaches the stream in text mode.
banner() { printf '%s Version 1.0(08/20/2002)\r\n\r\n' "${1:-PRNFEED}"; }

# bad <what>: reports one failed check; $fail, the test's result, is 1 from
# then on.
fail=0
# shellcheck disable=SC2034
bad() {
	echo "FAIL: $*"
	fail=1
}
# expect_same <what> <expected content file> <actual file>
expect_same() {
	if ! cmp -s "$2" "$3"; then
		bad "$1 differs; expected:"
		od -c "$2" | head -20
		echo "got:"
		od -c "$3" 2>&1 | head -20
	fi
}
