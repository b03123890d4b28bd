#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# The import-table check must refuse the faults it exists for. Each case takes
# the real executable's dump, plants one fault and expects check-pe.sh to fail.
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
reject() {
	name=$1
	shift
	sed "$@" "$good" >"$work/$name.dump"
	if cmp -s "$good" "$work/$name.dump"; then
		echo "FAIL: $name: the fault was not planted (dump format changed?)"
		fail=1
	elif "$here/check-pe.sh" --dump "$work/$name.dump" >/dev/null; then
		echo "FAIL: $name: accepted"
		fail=1
	else
		echo "ok: $name refused"
	fi
}
reject thread-dll -e 's/^\([[:space:]]*DLL Name: \)msvcrt.dll/&\n\1libwinpthread-1.dll/'
reject cxx-runtime -e 's/^\([[:space:]]*DLL Name: \)msvcrt.dll/\1libstdc++-6.dll/'
reject subsystem-6 -e 's/^\(MajorSubsystemVersion[[:space:]]*\)4$/\16/'
reject subsystem-4.1 -e 's/^\(MinorSubsystemVersion[[:space:]]*\)0$/\11/'
reject gui -e 's/^\(Subsystem[[:space:]]*\)00000003/\100000002/'
reject pe32plus -e 's/^\(Magic[[:space:]]*\)010b/\1020b/'
reject wide-setupapi -e 's/SetupDiGetClassDevsA/SetupDiGetClassDevsW/'
reject wide-createfile -e 's/\([[:space:]]\)CreateFileA$/\1CreateFileW/'
exit "$fail"
