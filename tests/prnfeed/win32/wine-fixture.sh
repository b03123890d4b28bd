#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# Starts or stops the wine server that the smoke tests share.
#
#   wine-fixture.sh start <prefix> [<installer> <dir>]
#                                    start a detached server, create/update the
#                                    prefix; with an installer, also install the
#                                    simulated printer's driver from <dir>
#   wine-fixture.sh stop <prefix>    stop the server and every wine process of the prefix
#
# A wine server started by a test's own wine process inherits that test's
# output pipe and keeps it open, so the test runner waits for it (or hangs).
# Started here first, in a session of its own with every descriptor on
# /dev/null or a log file, it holds nothing of the runner's.
set -u
action=${1:?start or stop}
# shellcheck source-path=SCRIPTDIR source=wine-env.sh
. "$(dirname "$0")/wine-env.sh"
use_wine_prefix "${2:?prefix}"
command -v wine >/dev/null || { echo "wine is not installed (scripts/deps.sh)"; exit 1; }
skip_unless_wine_runs
log=$WINEPREFIX.log

stop_server() {
	wineserver -k </dev/null >/dev/null 2>&1
	timeout 30 wineserver -w </dev/null >/dev/null 2>&1
}

case $action in
start)
	mkdir -p "$WINEPREFIX" || exit 1
	# A server left over by an interrupted run of this prefix goes first.
	stop_server
	setsid wineserver -p </dev/null >"$log" 2>&1
	# The first run creates the prefix (some seconds); later runs only check it.
	if ! timeout 90 wine wineboot </dev/null >>"$log" 2>&1; then
		echo "wineboot failed in $WINEPREFIX; its output:"
		cat "$log"
		stop_server
		exit 1
	fi
	if [ -n "${3:-}" ] && ! "$3" "${4:?driver directory}" >>"$log" 2>&1; then
		echo "installing the simulated printer failed; log:"
		cat "$log"
		stop_server
		exit 1
	fi
	echo "wine server running for $WINEPREFIX"
	;;
stop)
	if ! stop_server; then
		echo "wine server of $WINEPREFIX did not stop within 30 s"
		exit 1
	fi
	echo "wine server of $WINEPREFIX stopped"
	;;
*)
	echo "usage: $0 start|stop <prefix>"
	exit 2
	;;
esac
