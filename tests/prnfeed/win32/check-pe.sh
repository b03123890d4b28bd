#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# Checks the header and import table of the Windows build of prnfeed.
#
#   check-pe.sh <objdump> <prnfeed.exe>     dump the executable and check it
#   check-pe.sh --dump <objdump -p output>  check a dump already taken
#
# The executable must be a 32-bit x86 console program with subsystem version
# 4.0, so that older Windows loads it, and must need no DLL beyond the system's
# own: KERNEL32, SETUPAPI and the system C runtime msvcrt. A runtime DLL of the
# compiler (libgcc, libstdc++, libwinpthread) is not on a factory PC.
set -u
if [ "$1" = --dump ]; then
	dump=$(cat "$2") || exit 1
else
	[ -f "$2" ] || { echo "$2 does not exist: build the win32 preset first"; exit 1; }
	dump=$("$1" -p "$2") || { echo "$1 -p $2 failed"; exit 1; }
fi

fail=0
bad() { echo "FAIL: $*"; fail=1; }
has() { printf '%s\n' "$dump" | grep -Eq "$1"; }

has 'file format pei-i386$' || bad "not an i386 PE image"
has '^Magic[[:space:]]+010b[[:space:]]+\(PE32\)' || bad "optional header is not PE32"
has '^Subsystem[[:space:]]+00000003[[:space:]]' || bad "subsystem is not console (3)"
has '^MajorSubsystemVersion[[:space:]]+4$' || bad "MajorSubsystemVersion is not 4"
has '^MinorSubsystemVersion[[:space:]]+0$' || bad "MinorSubsystemVersion is not 0"

dlls=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:lower:]' '[:upper:]' | sort | tr '\n' ' ')
[ "$dlls" = "KERNEL32.DLL MSVCRT.DLL SETUPAPI.DLL " ] ||
	bad "imported DLLs are [ $dlls], expected [ KERNEL32.DLL MSVCRT.DLL SETUPAPI.DLL ]"

# Functions imported from one DLL, one per line, sorted.
imports() {
	printf '%s\n' "$dump" | awk -v dll="$1" '
		/DLL Name:/ { f = (toupper($3) == dll); next }
		f && NF == 3 && $1 ~ /^[0-9a-f]+$/ { print $3 }' | sort
}

setupapi=$(imports SETUPAPI.DLL | tr '\n' ' ')
want="SetupDiDestroyDeviceInfoList SetupDiEnumDeviceInterfaces SetupDiGetClassDevsA SetupDiGetDeviceInterfaceDetailA "
[ "$setupapi" = "$want" ] || bad "SETUPAPI imports are [ $setupapi], expected [ $want]"

kernel32=$(imports KERNEL32.DLL)
for f in CreateFileA DeviceIoControl ReadFile WriteFile CloseHandle GetLastError \
	GetFileSize GlobalAlloc GlobalLock GlobalUnlock GlobalFree GetModuleFileNameA GetVersionExA; do
	printf '%s\n' "$kernel32" | grep -qx "$f" || bad "KERNEL32 import $f missing"
done
# The program works with single-byte text throughout.
for f in CreateFileW GetModuleFileNameW GetVersionExW; do
	printf '%s\n' "$kernel32" | grep -qx "$f" && bad "KERNEL32 import $f: wide form used"
done

[ "$fail" = 0 ] && echo "PE32 i386 console 4.0; imports: $dlls"
exit "$fail"
