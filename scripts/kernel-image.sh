#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# Unpacks the Debian kernel image whose version matches a kernel headers tree
# into <cache>/<ver>/vmlinuz, for the real-kernel tests. Done once; later runs
# find the file and return at once.
#
#   kernel-image.sh <headers dir> <cache dir>    (the host build's
#                   KIT_KERNEL_HEADERS and KIT_KERNEL_CACHE: make kernel-image)
set -eu
hdr=${1:-}
CACHE=${2:-}
if [ -z "$hdr" ] || [ ! -d "$hdr" ] || [ -z "$CACHE" ]; then
	echo "kernel-image: usage: $0 <headers dir> <cache dir> (no linux-headers-*-amd64 installed?)" >&2
	exit 1
fi
ver=$(basename "$hdr")
ver=${ver#linux-headers-}
if [ -f "$CACHE/$ver/vmlinuz" ]; then exit 0; fi
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
echo "kernel-image: fetching linux-image-$ver for the real-kernel test"
(cd "$tmp" && apt-get download -qq "linux-image-$ver" >/dev/null 2>&1) || {
	$SUDO apt-get update -qq
	(cd "$tmp" && apt-get download -qq "linux-image-$ver")
}
dpkg-deb -x "$tmp"/linux-image-*.deb "$tmp/x"
$SUDO mkdir -p "$CACHE/$ver"
$SUDO cp "$tmp/x/boot/vmlinuz-$ver" "$CACHE/$ver/vmlinuz"
