#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# Prepares the board's kernel tree (third_party/board-kernel) in a build
# folder, never inside the source tree, and prints the prepared tree's path.
#
#   board-kernel.sh smdk2416|smdk2450 <build dir>
#       the board's configuration (smdk2416mtd_defconfig, smdk2450mtd_defconfig),
#       prepared for out-of-tree modules (~10 s)
#   board-kernel.sh versatile <build dir>
#       the minimal kernel for QEMU's versatilepb machine (versatile.config on
#       top of allnoconfig): zImage, then modules (~1-2 min on 2 cores)
#
# The archive's sha256 is checked before it is unpacked into
# <build dir>/<config>/, then the kit's patches are applied to that copy:
# patches/ for every configuration, then patches-versatile/ (test only: the
# board's register windows as RAM pages) for versatile alone.
# Every compile for the kernel must have been given -fno-pie.
# A stamp records what the tree was made from (archive, patches,
# configuration, compiler, build command); a second call with nothing
# changed only checks the archive and returns.
#
# Environment: CROSS_COMPILE (default arm-linux-gnueabi-), JOBS (default 2).
set -eu

config=${1:-}
out=${2:-}
here=$(cd "$(dirname "$0")/.." && pwd)
third=$here/third_party/board-kernel
archive=linux-2.6.21.5-cfs-v19-subset.tar.xz
top=linux-2.6.21.5-cfs-v19
release=2.6.21.5-cfs-v19
cross=${CROSS_COMPILE:-arm-linux-gnueabi-}
jobs=${JOBS:-2}

die() {
	echo "board-kernel: $*" >&2
	exit 1
}

case "$config" in
smdk2416 | smdk2450) targets="${config}mtd_defconfig modules_prepare" ;;
versatile) targets="allnoconfig zImage modules" ;;
*) die "usage: $0 smdk2416|smdk2450|versatile <build dir>" ;;
esac
[ -n "$out" ] || die "usage: $0 $config <build dir>"

(cd "$third" && sha256sum --quiet -c "$archive.sha256") >&2 ||
	die "$third/$archive does not match its sha256"
command -v "${cross}gcc" >/dev/null || die "no ${cross}gcc (gcc-arm-linux-gnueabi)"

mkdir -p "$out"
dir=$(cd "$out" && pwd)/$config
tree=$dir/$top
log=$dir/build.log
# HOSTCP=true: the vendor's boot Makefile copies zImage into a home folder.
make_args="ARCH=arm CROSS_COMPILE=$cross HOSTCP=true"

# The patches for this configuration, one path a line, in the order applied.
patches() {
	for p in "$third"/patches/*.patch; do echo "$p"; done
	if [ "$config" = versatile ]; then
		for p in "$third"/patches-versatile/*.patch; do echo "$p"; done
	fi
}

key=$({
	cat "$third/$archive.sha256"
	patches | while read -r p; do cat "$p"; done
	echo "$config: $targets; $make_args"
	if [ "$config" = versatile ]; then cat "$third/versatile.config"; fi
	"${cross}gcc" --version | head -n 1
} | sha256sum | cut -d' ' -f1)

# One build at a time per tree (make dist and a test run may meet here).
exec 9>"$dir.lock"
flock 9

if [ -f "$dir/stamp" ] && [ "$(cat "$dir/stamp")" = "$key" ]; then
	echo "$tree"
	exit 0
fi

echo "board-kernel: preparing $config in $dir (log: $log)" >&2
rm -rf "$dir"
mkdir -p "$dir"
tar -xJf "$third/$archive" -C "$dir"
patches | while read -r p; do
	patch -d "$tree" -p1 -s --no-backup-if-mismatch <"$p" || die "patch $(basename "$p") does not apply"
done

# The smdk configurations append the tree's version-control state to the
# release (LOCALVERSION_AUTO); the build folder may sit inside a git work
# tree, whose commit is not the kernel's.
GIT_CEILING_DIRECTORIES=$dir
export GIT_CEILING_DIRECTORIES

kmake() {
	# shellcheck disable=SC2086 # make_args are separate words
	make -C "$tree" $make_args "$@" >>"$log" 2>&1 ||
		{
			tail -n 30 "$log" >&2
			die "make $* failed in $tree (log: $log)"
		}
}

start=$(date +%s)
if [ "$config" = versatile ]; then
	KCONFIG_ALLCONFIG=$third/versatile.config kmake allnoconfig
	# Kconfig drops a setting whose dependencies are not met: check each one.
	grep '^CONFIG_' "$third/versatile.config" | while read -r line; do
		grep -qxF "$line" "$tree/.config" || die "versatile.config: '$line' did not take effect"
	done
	grep '^# CONFIG_.* is not set$' "$third/versatile.config" | while read -r _ opt _; do
		! grep -q "^$opt=" "$tree/.config" || die "versatile.config: $opt is set"
	done
	# zImage and modules race when built by one make: one after the other.
	kmake -j"$jobs" zImage
	kmake modules
	[ -f "$tree/arch/arm/boot/zImage" ] || die "no zImage in $tree"
else
	kmake "${config}mtd_defconfig"
	kmake modules_prepare
fi
# The kernel runs where it is linked: every object compiled for it must say
# -fno-pie (patches/0007), whatever the compiler's default. The .cmd files
# keep each compile's command line (-E: the linker script, preprocessed only).
compiled=$(find "$tree" -name '.*.cmd' -exec awk -v cc=" := ${cross}gcc " '
	/^cmd_/ && index($0, cc) && !index($0, " -E ") { print (index($0, " -fno-pie ") ? "ok " : "pie ") FILENAME }' {} +)
[ -n "$compiled" ] || die "no compile commands in $tree"
if printf '%s\n' "$compiled" | grep '^pie ' >&2; then
	die "objects compiled without -fno-pie in $tree"
fi
echo "board-kernel: $config: $(printf '%s\n' "$compiled" | wc -l) compiles, all with -fno-pie" >&2
got=$(cat "$tree/include/config/kernel.release")
[ "$got" = "$release" ] || die "the tree's release is '$got', want '$release'"

echo "$key" >"$dir/stamp"
echo "board-kernel: $config ready in $(($(date +%s) - start)) s" >&2
echo "$tree"
