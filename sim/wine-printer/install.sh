#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# Installs the simulated USB printer's driver into the wine prefix named by
# WINEPREFIX, whose server runs (started detached, as wine-fixture.sh does):
# the driver file and its registry listing from <dir> (sim-printer.sys,
# sim-printer.reg) and C:\sim-printer\ without a configuration (no printer
# attached until a test or demo writes one). Driver services start with the
# server, so the server is restarted; returns once the driver has made its
# devices.
#
#   install.sh <dir>
set -eu
from=${1:?directory of sim-printer.sys}
: "${WINEPREFIX:?}"
sim=$WINEPREFIX/drive_c/sim-printer
drivers=$WINEPREFIX/drive_c/windows/system32/drivers
for f in sim-printer.sys sim-printer.reg; do
	[ -f "$from/$f" ] || { echo "$from/$f does not exist: build the win32 preset first"; exit 1; }
done
mkdir -p "$sim"
cp "$from/sim-printer.reg" "$sim/sim-printer.reg"
wine regedit /s 'C:\sim-printer\sim-printer.reg' </dev/null 2>&1

wineserver -k </dev/null >/dev/null 2>&1 || true
timeout 30 wineserver -w </dev/null >/dev/null 2>&1
# A new file, not the loaded one rewritten in place.
rm -f "$drivers/sim-printer.sys" "$sim"/printer.txt* "$sim/received.bin" "$sim/events.txt" \
	"$sim/taken.txt" "$sim/ready"
cp "$from/sim-printer.sys" "$drivers/sim-printer.sys"
setsid wineserver -p </dev/null >/dev/null 2>&1
timeout 90 wine wineboot </dev/null 2>&1 || { echo "wineboot failed after the install"; exit 1; }

# wine's services start the driver in the background of wineboot.
tries=0
while [ ! -f "$sim/ready" ]; do
	tries=$((tries + 1))
	[ "$tries" -le 300 ] || { echo "the simulated printer's driver did not start"; exit 1; }
	sleep 0.1
done
echo "simulated printer installed in $WINEPREFIX"
