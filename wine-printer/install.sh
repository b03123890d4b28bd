#!/bin/sh
# Installs the simulated USB printer's driver into the wine prefix named by
# WINEPREFIX (the wine server must run): the driver file, its registry
# listing, and C:\sim-printer\ without a configuration (no printer attached
# until a test or demo writes one). The driver starts with the next server.
#
#   install.sh <directory holding sim-printer.sys and sim-printer.reg>
set -eu
from=${1:?directory of sim-printer.sys}
: "${WINEPREFIX:?}"
for f in sim-printer.sys sim-printer.reg; do
	[ -f "$from/$f" ] || { echo "$from/$f does not exist: build the win32 preset first"; exit 1; }
done
cp "$from/sim-printer.sys" "$WINEPREFIX/drive_c/windows/system32/drivers/sim-printer.sys"
sim=$WINEPREFIX/drive_c/sim-printer
mkdir -p "$sim"
rm -f "$sim"/printer.txt* "$sim/received.bin" "$sim/events.txt" "$sim/taken.txt"
cp "$from/sim-printer.reg" "$sim/sim-printer.reg"
wine regedit /s 'C:\sim-printer\sim-printer.reg' </dev/null
