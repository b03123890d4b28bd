#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# Installs the Debian packages the kit needs to build and test, and only those
# that are missing. Fast when everything is present. Needs root or sudo.
set -eu

PKGS="g++ cmake ninja-build make libgtest-dev libgmock-dev clang-format binutils
 g++-mingw-w64-i686
 gcc-arm-linux-gnueabi g++-arm-linux-gnueabi qemu-user
 gzip time qemu-system-arm kmod xz-utils shellcheck patch zip
 wine clang libclang-rt-14-dev valgrind"
I386_PKGS="wine32:i386"

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

installed() {
	dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q '^install ok installed$'
}

missing=""
for p in $PKGS; do installed "$p" || missing="$missing $p"; done

need_i386=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then need_i386=1; fi
for p in $I386_PKGS; do installed "$p" || missing="$missing $p"; done

if [ -n "$missing" ]; then
	echo "deps: installing:$missing"
	if [ "$need_i386" = 1 ]; then $SUDO dpkg --add-architecture i386; fi
	$SUDO apt-get update -qq
	# shellcheck disable=SC2086 # one word per package
	$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
		--no-install-recommends $missing >/dev/null
fi
