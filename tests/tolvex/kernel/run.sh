#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-only
# Packs tolvex.ko (built warning-free against the installed Debian kernel
# headers by the tolvex.kbuild test, tests/tolvex/kernel) with busybox, the
# static check program and init.sh into an initramfs, boots the matching
# Debian kernel under qemu-system-x86_64 (software emulation) and
# checks the serial log.
#
#   run.sh busy <tolvex.ko> <work dir> <tolvex_check> <headers>   plain boot: dax holds 252
#   run.sh load <tolvex.ko> <work dir> <tolvex_check> <headers>   252 left free
#
# <headers> is the kernel build tree the module was built against; the
# kernel image of the same version is taken from the cache.
# Environment: KIT_KERNEL_CACHE (the host build's cache variable: where the
# kernel images are unpacked),
# KIT_BOOT_TIMEOUT (seconds, default 120).
set -u -o pipefail

mode=${1:-}
module=${2:-}
work=${3:-}
checker=${4:-}
hdr=${5:-}
here=$(cd "$(dirname "$0")" && pwd)
cache=${KIT_KERNEL_CACHE:?the kernel image cache, KIT_KERNEL_CACHE, is not set}
boot_timeout=${KIT_BOOT_TIMEOUT:-120}

die() {
	echo "tolvex-kernel: $*" >&2
	exit 1
}

case "$mode" in
busy | load) ;;
*) die "usage: $0 busy|load <tolvex.ko> <work dir> <tolvex_check> <headers>" ;;
esac
[ -f "$module" ] || die "no module $module (the tolvex.kbuild test builds it)"
[ -x "$checker" ] || die "no check program $checker"

# --- kernel headers and the matching kernel image ---------------------------
[ -d "$hdr" ] || die "no kernel headers '$hdr' (linux-headers-amd64 installed?)"
hver=$(sed -n 's/^#define UTS_RELEASE "\(.*\)"$/\1/p' "$hdr/include/generated/utsrelease.h" 2>/dev/null)
[ -n "$hver" ] || die "cannot read the kernel version of the headers in $hdr"

# Version string of an x86 boot image: the setup header ("HdrS" at 0x202)
# holds at 0x20E the offset, less 0x200, of a NUL-terminated version text.
image_version() {
	local img=$1 off
	[ "$(dd if="$img" bs=1 skip=$((0x202)) count=4 2>/dev/null | tr -d '\0')" = HdrS ] || return 1
	off=$(od -An -tu2 -j $((0x20E)) -N2 "$img" | tr -d ' ')
	[ -n "$off" ] || return 1
	dd if="$img" bs=1 skip=$((off + 0x200)) count=128 2>/dev/null | tr '\0' '\n' | head -1 |
		cut -d' ' -f1
}

img=$cache/$hver/vmlinuz
[ -f "$img" ] || die "no kernel image $img for the headers' version $hver (make kernel-image unpacks it)"
kver=$(image_version "$img") || die "$img is not an x86 kernel boot image"
[ "$kver" = "$hver" ] ||
	die "kernel image $img is version '$kver' but the headers $hdr are version '$hver'"
echo "tolvex-kernel: headers and image both $hver"

rm -rf "$work"
mkdir -p "$work/root" || die "cannot create $work"

# --- initramfs ---------------------------------------------------------------
busybox=$(command -v busybox) || die "busybox not found (busybox-static)"
{
	cp "$busybox" "$work/root/busybox.tmp" && mkdir -p "$work/root/bin" &&
		mv "$work/root/busybox.tmp" "$work/root/bin/busybox" &&
		cp "$here/init.sh" "$work/root/init" &&
		cp "$module" "$checker" "$work/root/" &&
		chmod 755 "$work/root/init"
} || die "cannot fill $work/root"
mv "$work/root/$(basename "$checker")" "$work/root/tolvex_check" 2>/dev/null || true
(cd "$work/root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initramfs.cpio.gz" ||
	die "cannot pack the initramfs"

# --- boot --------------------------------------------------------------------
# A kernel fault ends the boot at once (panic, no reboot) instead of hanging.
append="console=ttyS0 panic=-1 oops=panic quiet printk.time=0 kit.mode=$mode"
if [ "$mode" = load ]; then
	# Each of these subsystems would otherwise take 252 or move into it.
	append="$append initcall_blacklist=dax_core_init,rtc_init,pps_init,ptp_init,bsg_init,cxl_core_init"
fi
log=$work/boot.log
start=$(date +%s)
timeout -k 5 "$boot_timeout" qemu-system-x86_64 -nodefaults -no-user-config -nographic \
	-serial stdio -net none -m 512 -no-reboot \
	-device isa-debug-exit,iobase=0xf4,iosize=0x04 \
	-kernel "$img" -initrd "$work/initramfs.cpio.gz" -append "$append" \
	</dev/null >"$log" 2>&1
rc=$?
secs=$(($(date +%s) - start))
tr -d '\r' <"$log" >"$log.txt"
echo "tolvex-kernel: boot ($mode) took ${secs} s, emulator exit $rc"

fail() {
	echo "----- serial log ($log) -----"
	cat "$log.txt"
	echo "-----"
	die "$mode boot: $*"
}
case "$rc" in 124 | 137) fail "no result within $boot_timeout s" ;; esac
if grep -E -q 'Oops|BUG:|general protection|Call Trace|Kernel panic' "$log.txt"; then
	fail "the kernel reported a fault"
fi
! grep -q '^kit: result FAIL' "$log.txt" || fail "the guest's checks failed (see the FAIL lines)"
grep -q '^kit: result PASS$' "$log.txt" || fail "the guest ended without a result line"
[ "$rc" = 33 ] || fail "emulator exit $rc, want 33 (pass through the debug-exit port)"

# --- the module's kernel log lines, exactly and in order --------------------
# All are printed without a level, so they carry the default level 4. The
# taint notes for an unsigned out-of-tree module are expected.
load_line='<4>[device_init : 339] device_init() start !!!'
unload_line='<4>[device_exit : 352] device_exit() !!!'
{
	echo "$load_line"
	if [ "$mode" = load ]; then
		sed -n 's/^klog: /<4>/p' "$log.txt"
		echo "$unload_line"
	fi
} >"$work/klog.want"
sed -n '/^kit: dmesg begin$/,/^kit: dmesg end$/p' "$log.txt" |
	grep -E 'tolvex|device_init|device_exit' |
	grep -v -E '^<[0-9]+>tolvex: (loading out-of-tree module taints kernel\.|module verification failed: signature and/or required key missing - tainting kernel)$' \
		>"$work/klog.got"
if ! diff -u "$work/klog.want" "$work/klog.got" >"$work/klog.diff"; then
	cat "$work/klog.diff"
	fail "the module's kernel log lines differ (- wanted, + got)"
fi
if [ "$mode" = load ]; then
	for l in 'tolvex_ioctl(0)' 'tolvex_ioctl(4)' 'tolvex_ioctl(7)' 'tolvex_ioctl(-1)'; do
		grep -q -x -F "<4>$l" "$work/klog.got" || fail "no kernel log line '$l'"
	done
fi
grep -E '^(kit: |ok |FAIL|PASS)' "$log.txt" | grep -v -E '^kit: dmesg (begin|end)$'
echo "tolvex-kernel: $mode boot passed; $(wc -l <"$work/klog.got") module log line(s) matched"
