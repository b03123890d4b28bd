#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# Checks the simulated printer's driver without running wine: a 32-bit x86
# native-subsystem image whose every import is a function that wine's
# ntoskrnl.exe (or hal.dll) exports, so that wine's device host can load it.
#
#   check-driver.sh <objdump> <sim-printer.sys> <wine's i386-windows dir>
set -u
objdump=$1
sys=$2
wine_dlls=$3
[ -f "$sys" ] || { echo "$sys does not exist: build the win32 preset first"; exit 1; }
dump=$("$objdump" -p "$sys") || exit 1

fail=0
bad() { echo "FAIL: $*"; fail=1; }
has() { printf '%s\n' "$dump" | grep -Eq "$1"; }
has 'file format pei-i386$' || bad "not an i386 PE image"
has '^Subsystem[[:space:]]+00000001[[:space:]]' || bad "subsystem is not native (1)"
has '^AddressOfEntryPoint[[:space:]]+0*[1-9a-f]' || bad "no entry point"

# Imported functions as "DLL function", one per line.
imports=$(printf '%s\n' "$dump" | awk '
	/DLL Name:/ { dll = tolower($3); next }
	dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ { print dll, $3 }')
[ -n "$imports" ] || bad "no imports found"
dlls=$(printf '%s\n' "$imports" | cut -d' ' -f1 | sort -u | tr '\n' ' ')
case $dlls in
"ntoskrnl.exe " | "hal.dll ntoskrnl.exe ") ;;
*) bad "imports from [ $dlls], expected ntoskrnl.exe (and hal.dll) only" ;;
esac

if [ -d "$wine_dlls" ]; then
	for dll in $dlls; do
		exports=$("$objdump" -p "$wine_dlls/$dll" | awk '/^\[Ordinal\/Name Pointer\] Table/ { t = 1; next }
			t && /^\t\[/ { print $NF }')
		for f in $(printf '%s\n' "$imports" | awk -v d="$dll" '$1 == d { print $2 }'); do
			printf '%s\n' "$exports" | grep -qx "$f" || bad "$dll of wine does not export $f"
		done
	done
else
	echo "note: $wine_dlls not found, exports of wine not compared"
fi
[ "$fail" = 0 ] && echo "native i386 driver; imports [ $dlls] all exported by wine"
exit "$fail"
