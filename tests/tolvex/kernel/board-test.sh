#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# Checks of tolvex.ko for the board's kernel (2.6.21.5-cfs-v19, ARM), run by
# CTest. The module builds and checks themselves are scripts/board-module.sh.
#
#   board-test.sh boot load|refuse <kernel tree> <tolvex.ko> <init> <work dir> [<file>...]
#       packs /init (board_init.c), the module and each file (as /<its name>;
#       the load boot runs /portf, the guide's example) into an initramfs, boots
#       the tree's zImage under qemu-system-arm -M versatilepb -cpu arm926
#       (with the board's register windows as RAM pages, which the kernel
#       leaves alone: patches-versatile, mem=60M) and checks the serial log:
#       the guest's result and the module's kernel log lines, exactly and in
#       order
#   board-test.sh pie <kernel tree> <work dir> <out.ko>
#       builds the module as position-independent code (-fpie in place of
#       its -fno-pie, after the tree's own -fno-pie: what a tree without it
#       and a compiler making such code by default give): the check must
#       refuse it for its R_ARM_REL32 relocations; <out.ko> is then booted with
#       "refuse", where the kernel must refuse it too
#   board-test.sh refused <message> <command...>
#       the command (a board-module.sh check) must fail with <message>
#   board-test.sh vermagic <tolvex.ko> <work dir>
#       a copy whose vermagic names another kernel must fail the check
#
# Environment: KIT_BOOT_TIMEOUT (seconds, default 60); KIT_MODULE_HZ, the
# tick rate of the tree the module was built against (default 100, the test
# kernel's): the module's busy-waits scale with it, and the guest times them.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
board_module=$here/../../../scripts/board-module.sh

die() {
	echo "board-test: $*" >&2
	exit 1
}

# refused <out file> <message> <command...>: the command fails with the
# message on its error output and leaves no <out file>.
refused() {
	refused_out=$1
	refused_msg=$2
	shift 2
	rm -f "$refused_out"
	if "$@" 2>"$refused_out.err"; then
		cat "$refused_out.err" >&2
		die "accepted: $*"
	fi
	cat "$refused_out.err"
	grep -qF "$refused_msg" "$refused_out.err" || die "the refusal does not say '$refused_msg'"
	[ ! -e "$refused_out" ] || die "$refused_out was written although the module was refused"
	echo "board-test: refused as expected: $refused_msg"
}

boot() {
	mode=$1
	tree=$2
	ko=$3
	init=$4
	work=$5
	shift 5
	zimage=$tree/arch/arm/boot/zImage
	[ -f "$zimage" ] || die "no $zimage (the board-kernel test builds it)"
	[ -f "$ko" ] || die "no module $ko"
	[ -x "$init" ] || die "no init program $init"
	rm -rf "$work"
	mkdir -p "$work"
	cat >"$work/initramfs.list" <<-LIST
		dir /dev 0755 0 0
		nod /dev/console 0600 0 0 c 5 1
		dir /proc 0755 0 0
		file /init $init 0755 0 0
		file /tolvex.ko $ko 0644 0 0
	LIST
	for f in "$@"; do
		[ -f "$f" ] || die "no $f"
		echo "file /$(basename "$f") $f 0755 0 0" >>"$work/initramfs.list"
	done
	"$tree/usr/gen_init_cpio" "$work/initramfs.list" >"$work/initramfs.cpio" ||
		die "cannot pack the initramfs"

	log=$work/serial.log
	start=$(date +%s%N)
	rc=0
	# mem=60M: the kernel leaves the top 4 MiB alone, where the test
	# kernel's register pages are. -icount: the guest's clock counts
	# instructions (one per 16 ns), so the guest times the module's
	# busy-waits alike however loaded this machine is.
	timeout -k 5 "${KIT_BOOT_TIMEOUT:-60}" qemu-system-arm -M versatilepb -cpu arm926 -m 64 \
		-icount shift=4 -kernel "$zimage" -initrd "$work/initramfs.cpio" \
		-append "console=ttyAMA0 panic=1 mem=60M kitmode=$mode kithz=${KIT_MODULE_HZ:-100}" \
		-audiodev none,id=snd0 -global pl041.audiodev=snd0 \
		-nographic -no-reboot -monitor none </dev/null >"$log.raw" 2>&1 || rc=$?
	tr -d '\r\000' <"$log.raw" >"$log"
	echo "board-test: $mode boot of $(basename "$ko") took $((($(date +%s%N) - start) / 1000000)) ms, emulator exit $rc"

	fail() {
		echo "----- serial log ($log) -----"
		cat "$log"
		echo "-----"
		die "$mode boot: $*"
	}
	case "$rc" in 124 | 137) fail "no result within ${KIT_BOOT_TIMEOUT:-60} s" ;; esac
	! grep -E -q 'Oops|Unable to handle|Kernel panic|BUG:|Internal error' "$log" ||
		fail "the kernel reported a fault"
	! grep -q '^kit: FAIL' "$log" || fail "the guest's checks failed (see the FAIL lines)"
	grep -qx 'kit: result PASS' "$log" || fail "the guest ended without a pass"

	# The module's kernel log lines, exactly and in order: announced by the
	# guest (want) against the kernel's log buffer (got). Empty lines (a
	# level alone) are the module's too: its stop-mode lines start with one.
	sed -n 's/^kit: klog //p' "$log" >"$work/klog.want"
	sed -n '/^kit: log begin$/,/^kit: log end$/p' "$log" |
		grep -E 'tolvex|TOLVEX|device_init|device_exit|^<[0-7]>$' >"$work/klog.got" || true
	if ! diff -u "$work/klog.want" "$work/klog.got" >"$work/klog.diff"; then
		cat "$work/klog.diff"
		fail "the module's kernel log lines differ (- wanted, + got)"
	fi
	grep -E '^kit: (ok|mode|/)' "$log"
	echo "board-test: the module's kernel log lines:"
	cat "$work/klog.got"
	echo "board-test: $mode boot passed, $(grep -c '^kit: ok' "$log") checks, $(wc -l <"$work/klog.got") module log lines matched"
}

case "${1:-}" in
boot)
	[ $# -ge 6 ] || die "usage: $0 boot load|refuse <kernel tree> <tolvex.ko> <init> <work dir> [<file>...]"
	case "$2" in load | refuse) ;; *) die "mode $2: load or refuse" ;; esac
	shift
	boot "$@"
	;;
pie)
	[ $# = 4 ] || die "usage: $0 pie <kernel tree> <work dir> <out.ko>"
	tree=$2
	work=$3
	out=$4
	rm -rf "$work"
	mkdir -p "$work/src"
	for f in tolvex.c tolvex.h Kbuild Makefile; do cp "$here/../../../tolvex/$f" "$work/src/"; done
	sed -i 's/-fno-pie/-fpie/' "$work/src/Kbuild"
	grep -q -e '-fpie' "$work/src/Kbuild" || die "the Kbuild copy does not ask for -fpie"
	refused "$work/refused.ko" "build with -fno-pie" \
		"$board_module" build "$work/build" "$work/refused.ko" KDIR="$tree" SRC="$work/src"
	cp "$work/build/tolvex.ko" "$out"
	;;
refused)
	[ $# -ge 3 ] || die "usage: $0 refused <message> <command...>"
	shift
	msg=$1
	shift
	refused /nonexistent "$msg" "$@"
	;;
vermagic)
	[ $# = 3 ] || die "usage: $0 vermagic <tolvex.ko> <work dir>"
	rm -rf "$3"
	mkdir -p "$3"
	LC_ALL=C sed 's/2\.6\.21\.5-cfs-v19 mod_unload ARMv5 /2.6.21.5-cfs-v18 mod_unload ARMv5 /' \
		"$2" >"$3/other.ko"
	refused "$3/none" "has vermagic '2.6.21.5-cfs-v18 mod_unload ARMv5 '" \
		"$board_module" check "$3/other.ko"
	;;
*) die "usage: $0 boot|pie|refused|vermagic ..." ;;
esac
