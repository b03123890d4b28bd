#!/bin/sh
# Unpacks the Debian kernel image whose version matches the installed
# linux-headers-amd64, into /var/cache/kit-kernel/<ver>/vmlinuz.
# Done once; later runs find the file and return at once.
set -eu
CACHE=/var/cache/kit-kernel
hdr=$(ls -d /usr/src/linux-headers-*-amd64 2>/dev/null | sort -V | tail -1)
if [ -z "$hdr" ]; then echo "kernel-image: no linux-headers-*-amd64 installed" >&2; exit 1; fi
ver=${hdr#/usr/src/linux-headers-}
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
