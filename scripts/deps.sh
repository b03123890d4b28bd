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
# Packages of foreign architectures, each added to dpkg when missing:
# wine's 32-bit half; musl's C library for the board's ARM EABI, for the
# test programs the board boot runs (Debian's armel glibc needs a kernel of
# 3.2 or later, the board's is 2.6.21).
FOREIGN_PKGS="wine32:i386 musl-dev:armel"

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

installed() {
	dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q '^install ok installed$'
}

missing=""
for p in $PKGS; do installed "$p" || missing="$missing $p"; done

add_archs=""
for p in $FOREIGN_PKGS; do
	installed "$p" || missing="$missing $p"
	dpkg --print-foreign-architectures | grep -qx "${p#*:}" || add_archs="$add_archs ${p#*:}"
done

if [ -n "$missing" ]; then
	echo "deps: installing:$missing"
	for a in $add_archs; do $SUDO dpkg --add-architecture "$a"; done
	$SUDO apt-get update -qq
	# shellcheck disable=SC2086 # one word per package
	$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
		--no-install-recommends $missing >/dev/null
fi
