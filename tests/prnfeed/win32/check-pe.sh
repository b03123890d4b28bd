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
#
# An imported function that a Windows lacks keeps the program from starting
# there. Checked against the oldest system DLLs the kit names:
#   KERNEL32  by name in Windows 95's KERNEL32 (kernel32-win95.txt; 98 and ME
#             export a superset). The names that list marks as exported by
#             ordinal only do not count: imported by name they do not load.
#             (No list of 2000's or XP's KERNEL32 is checked.)
#   msvcrt    in the system msvcrt.dll of Windows 98 SE or older
#             (msvcrt-x86-by-version.txt: ME, 2000 and XP carry supersets).
#   SETUPAPI  exactly the four device-interface functions.
# Both lists name their sources in their headers.
set -u
data=$(dirname "$0")
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

# Windows 95's named exports, without the names its list says are exported
# by ordinal only (a block of its header, read here).
win95=$data/kernel32-win95.txt
ordinal_only=$(awk '/^#/ && f { if ($0 == "#") exit; for (i = 2; i <= NF; i++) print $i }
	/not one of them\):$/ { f = 1 }' "$win95")
[ -n "$ordinal_only" ] || bad "$win95: no list of ordinal-only names in its header"
for f in $(printf '%s\n' "$kernel32" | grep -vxF -f "$win95"); do
	bad "KERNEL32.dll import $f: not in Windows 95's KERNEL32"
done
for f in $(printf '%s\n' "$kernel32" | grep -xF "$ordinal_only"); do
	bad "KERNEL32.dll import $f: Windows 95's KERNEL32 exports it by ordinal only"
done

# The first Windows whose msvcrt.dll has each import, in words.
msvcrt=$(imports MSVCRT.DLL)
newer=$(printf '%s\n' "$msvcrt" | awk -F '\t' '
	NR == FNR { if ($0 !~ /^#/) first[$1] = $2; next }
	$1 == "" { next }
	!($1 in first) { print $1 ": in no msvcrt.dll of Windows"; next }
	first[$1] !~ /^(nt4|98fe|98se)$/ { print $1 ": first in Windows " name[first[$1]] ", not in Windows 98 SE" }
	BEGIN { name["me-2000"] = "ME and 2000"; name["2000sp4"] = "2000 SP4"; name["xp"] = "XP"
		name["2003"] = "Server 2003"; name["vista"] = "Vista"; name["later"] = "8 or later" }' \
	"$data/msvcrt-x86-by-version.txt" -)
[ -z "$newer" ] || { printf '%s\n' "$newer" | sed 's/^/FAIL: msvcrt.dll import /'; fail=1; }

count() { printf '%s\n' "$1" | grep -c .; }
[ "$fail" = 0 ] && echo "PE32 i386 console 4.0; imports: $dlls" &&
	echo "KERNEL32 $(count "$kernel32") (each in Windows 95's), msvcrt $(count "$msvcrt")" \
		"(each in Windows 98 SE's), SETUPAPI $(count "$(imports SETUPAPI.DLL)")"
exit "$fail"
