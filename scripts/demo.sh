#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# Shows the three tools working on the stand-ins, one after the other.
set -eu
cd "$(dirname "$0")/.."
for tool in quenzor prnfeed tolvex; do
	if [ -x "scripts/demo-$tool.sh" ]; then
		echo
		echo "================ $tool ================"
		"scripts/demo-$tool.sh"
	fi
done
# The real Windows executable last: under wine, with a simulated printer.
echo
echo "================ prnfeed.exe under wine ================"
scripts/demo-prnfeed-wine.sh
