#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# The import-table check must refuse the faults it exists for. Each case takes
# the real executable's dump, plants one fault and expects check-pe.sh to fail
# with a line that names it.
#
#   check-pe-rejects.sh <objdump> <prnfeed.exe> <work dir>
set -u
here=$(dirname "$0")
[ -f "$2" ] || { echo "$2 does not exist: build the win32 preset first"; exit 1; }
work=$3
mkdir -p "$work" || exit 1
good=$work/good.dump
"$1" -p "$2" >"$good" || exit 1
if ! "$here/check-pe.sh" --dump "$good" >/dev/null; then
	echo "FAIL: $2 itself fails the check, so refusals would prove nothing"
	exit 1
fi

fail=0
reject() { # <case> <part of the failure line> <sed arguments...>
	name=$1
	why=$2
	shift 2
	if ! sed "$@" "$good" >"$work/$name.dump" || cmp -s "$good" "$work/$name.dump"; then
		echo "FAIL: $name: the fault was not planted (dump format changed?)"
		fail=1
	elif "$here/check-pe.sh" --dump "$work/$name.dump" >"$work/$name.out"; then
		echo "FAIL: $name: accepted"
		fail=1
	elif ! grep -F "$why" "$work/$name.out" >"$work/$name.why"; then
		echo "FAIL: $name: refused without \"$why\":"
		cat "$work/$name.out"
		fail=1
	else
		echo "ok: $name refused: $(cat "$work/$name.why")"
	fi
}
# add <function> <DLL>: the dump with one more import of that DLL's, beside
# one it has (the table's columns do not matter to the check).
add() { printf '%s\n' "s/^\\(\t[0-9a-f]*\t *[0-9]*  \\)$2\$/&\\n\\1$1/"; }
reject thread-dll "imported DLLs are" -e 's/^\([[:space:]]*DLL Name: \)msvcrt.dll/&\n\1libwinpthread-1.dll/'
reject cxx-runtime "imported DLLs are" -e 's/^\([[:space:]]*DLL Name: \)msvcrt.dll/\1libstdc++-6.dll/'
reject subsystem-6 "MajorSubsystemVersion is not 4" -e 's/^\(MajorSubsystemVersion[[:space:]]*\)4$/\16/'
reject subsystem-4.1 "MinorSubsystemVersion is not 0" -e 's/^\(MinorSubsystemVersion[[:space:]]*\)0$/\11/'
reject gui "not console" -e 's/^\(Subsystem[[:space:]]*\)00000003/\100000002/'
reject pe32plus "not PE32" -e 's/^\(Magic[[:space:]]*\)010b/\1020b/'
reject wide-setupapi "SETUPAPI imports are" -e 's/SetupDiGetClassDevsA/SetupDiGetClassDevsW/'
reject wide-createfile "CreateFileW: wide form used" -e 's/\([[:space:]]\)CreateFileA$/\1CreateFileW/'
# Imports that older Windows lacks, named with the first Windows that has them.
reject msvcrt-xp "___lc_codepage_func: first in Windows XP" -e "$(add ___lc_codepage_func fputc)"
reject msvcrt-2000sp4 "_get_heap_handle: first in Windows 2000 SP4" -e "$(add _get_heap_handle fputc)"
reject msvcrt-none "_nonesuch: in no msvcrt.dll" -e "$(add _nonesuch fputc)"
reject kernel32-xp "GetConsoleWindow: not in Windows 95's KERNEL32" -e "$(add GetConsoleWindow ReadFile)"
reject kernel32-ordinal "VxDCall0: Windows 95's KERNEL32 exports it by ordinal only" -e "$(add VxDCall0 ReadFile)"
exit "$fail"
