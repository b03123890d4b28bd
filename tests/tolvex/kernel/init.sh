#!/bin/busybox sh
# SPDX-License-Identifier: GPL-2.0-only
# shellcheck shell=dash
# /init of the initramfs that the real-kernel test boots. The mode comes from
# the kernel command line:
#   kit.mode=busy  major 252 is held by a built-in driver: the load must fail
#                  with EBUSY and leave that driver's registration intact
#   kit.mode=load  major 252 is free: load, check the node, unload
# Modules are loaded with one finit_module call of our own: busybox insmod
# retries a failed load through init_module, running the load entry twice.
# Every step prints "kit: ok ..." or "kit: FAIL ...". Then the kernel log
# (raw, with levels) is printed between markers, then one result line, and
# the result leaves the machine through the debug-exit port:
# 16 for pass (emulator exit 33), 17 for fail (emulator exit 35).

/bin/busybox mkdir -p /proc /sys /dev /sbin /usr/bin /usr/sbin /tmp
/bin/busybox --install -s
export PATH=/sbin:/bin:/usr/sbin:/usr/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
# The initramfs has no /dev/console of its own; take the console now.
exec </dev/console >/dev/console 2>&1

fails=0
ok() { echo "kit: ok $*"; }
fail() {
	echo "kit: FAIL $*"
	fails=$((fails + 1))
}
expect() { # expect <description> [!] <command...>
	what=$1
	shift
	if [ "$1" = "!" ]; then
		shift
		if "$@"; then fail "$what"; else ok "$what"; fi
	elif "$@"; then
		ok "$what"
	else
		fail "$what"
	fi
}

# Name of the character device holding major 252, empty when free.
chr252() {
	awk '/^Character devices:/ { c = 1; next } /^Block devices:/ { c = 0 }
	     c && $1 == "252" { print $2 }' /proc/devices
}
loaded() { grep -q '^tolvex ' /proc/modules; }

echo # the firmware's last output line has no end
mode=$(sed -n 's/.*kit\.mode=\([a-z]*\).*/\1/p' /proc/cmdline)
echo "kit: mode $mode, kernel $(uname -r)"

case "$mode" in
busy)
	held=$(chr252)
	expect "major 252 held by dax before the load (got '$held')" [ "$held" = dax ]
	out=$(/tolvex_check insmod /tolvex.ko 2>&1)
	rc=$?
	echo "kit: $out"
	expect "insmod fails with EBUSY (exit $rc)" [ "$rc" = 16 ]
	expect "insmod reports 'Device or resource busy'" \
		[ "$out" = "insmod: errno 16 (Device or resource busy)" ]
	held=$(chr252)
	expect "major 252 still held by dax (got '$held')" [ "$held" = dax ]
	expect "no tolvex device registered" ! grep -q tolvex /proc/devices
	expect "module not loaded" ! loaded
	;;
load)
	held=$(chr252)
	expect "major 252 free before the load (got '$held')" [ -z "$held" ]
	expect "insmod" /tolvex_check insmod /tolvex.ko
	held=$(chr252)
	expect "major 252 registered as tolvex (got '$held')" [ "$held" = tolvex ]
	expect "exactly one '252 tolvex' line" [ "$(grep -c '^252 tolvex$' /proc/devices)" = 1 ]
	expect "mknod /dev/tolvex c 252 0" mknod /dev/tolvex c 252 0
	expect "mknod /dev/tolvex7 c 252 7" mknod /dev/tolvex7 c 252 7
	/tolvex_check run /dev/tolvex
	expect "device checks through /dev/tolvex" [ $? = 0 ]
	# Any minor reaches the same device; a read is end of file at once.
	# Through cat: wc on the node itself would send it a terminal ioctl.
	# shellcheck disable=SC2002
	expect "minor 7 opens and reads empty" [ "$(cat /dev/tolvex7 | wc -c)" = 0 ]
	# The module must stay while a file on the device is open.
	exec 3</dev/tolvex
	rmmod tolvex
	expect "rmmod refused while the device is open" [ $? != 0 ]
	expect "module still loaded" loaded
	exec 3<&-
	expect "rmmod" rmmod tolvex
	expect "module unloaded" ! loaded
	held=$(chr252)
	expect "major 252 free after the unload (got '$held')" [ -z "$held" ]
	;;
*)
	fail "no kit.mode=busy|load on the kernel command line"
	;;
esac

echo "kit: dmesg begin"
dmesg -r
echo "kit: dmesg end"
if [ "$fails" = 0 ]; then
	echo "kit: result PASS"
	code=16
else
	echo "kit: result FAIL ($fails)"
	code=17
fi
sync
/tolvex_check exit $code
poweroff -f
