#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# Builds tolvex.ko for the board's kernel (2.6.21.5-cfs-v19, ARM926EJ-S) and
# checks it before it leaves: a module that fails a check is not copied.
#
#   board-module.sh build <work dir> <out.ko> [NAME=value...]
#       KDIR=<tree>        a configured and prepared board kernel tree; empty:
#                          the bundled tree (third_party/board-kernel),
#                          prepared with CONFIG under TREES
#       CONFIG=smdk2416    board configuration of the bundled tree (or smdk2450)
#       TREES=<dir>        where the bundled tree is prepared (build/board-kernel)
#       ARCH=arm CROSS_COMPILE=arm-linux-gnueabi-
#       SRC=<dir>          the module's source kit (tolvex/); its VERSION
#                          (or the repository's) becomes MODULE_VERSION
#       W=1                also the extra warnings of a current kernel's W=1
#                          (2.6.21's Kbuild has no W=); the module's own
#                          files must build without any of them
#   board-module.sh check <module.ko>
#       ELF32 ARM EABI5 relocatable, vermagic exactly VERMAGIC, and only
#       relocations that the 2.6.21 ARM module loader applies in the
#       sections it loads (R_ARM_ABS32, R_ARM_PC24, R_ARM_CALL, R_ARM_JUMP24)
set -eu

VERMAGIC='2.6.21.5-cfs-v19 mod_unload ARMv5 '
here=$(cd "$(dirname "$0")/.." && pwd)

ROOT=/usr/src/printer-board-kit

die() {
	echo "board-module: $*" >&2
	exit 1
}

# A folder's name in the debug information: under $ROOT when it lies in the
# kit, its own otherwise.
kit_path() {
	case "$1" in
	"$here"/*) echo "$ROOT/${1#"$here"/}" ;;
	*) echo "$1" ;;
	esac
}

check() {
	ko=$1
	[ -f "$ko" ] || die "no module $ko"
	hdr=$(readelf -h "$ko" 2>/dev/null) || die "$ko is not an ELF file"
	field() { printf '%s\n' "$hdr" | sed -n "s/^ *$1: *//p"; }
	class=$(field Class)
	machine=$(field Machine)
	flags=$(field Flags)
	type=$(field Type)
	case "$class|$machine|$flags|$type" in
	"ELF32|ARM|"*"Version5 EABI"*"|REL "*) ;;
	*) die "$ko is not a module for the board: $class, $machine, flags '$flags', type '$type' (want ELF32, ARM, Version5 EABI, REL)" ;;
	esac

	command -v modinfo >/dev/null || die "no modinfo (kmod)"
	vermagic=$(modinfo -F vermagic "$ko") || die "modinfo cannot read $ko"
	[ "$vermagic" = "$VERMAGIC" ] ||
		die "$ko has vermagic '$vermagic'; the board's kernel loads only '$VERMAGIC'"

	# Relocation sections whose target section is loaded (flag A), and the
	# types in them the loader does not apply.
	bad=$({
		readelf -S -W "$ko"
		echo @@
		readelf -r -W "$ko"
	} | awk '
		/^@@$/ { rel = 1; next }
		!rel && /^ *\[ *[0-9]+\]/ {
			line = $0
			sub(/^ *\[ */, "", line)
			sub(/\]/, " ", line)
			n = split(line, f, " ")
			idx[f[2]] = f[1]
			name[f[1]] = f[2]
			flg[f[1]] = n == 11 ? f[8] : ""
			inf[f[1]] = f[n - 1]
			next
		}
		rel && /^Relocation section / {
			sec = $3
			gsub(/\047/, "", sec)
			target = inf[idx[sec]]
			loaded = flg[target] ~ /A/
			next
		}
		rel && loaded && $3 ~ /^R_ARM_/ &&
			$3 !~ /^R_ARM_(ABS32|PC24|CALL|JUMP24)$/ { n_bad[$3 " in " name[target]]++ }
		END { for (k in n_bad) print n_bad[k] " " k }')
	if [ -n "$bad" ]; then
		printf '%s\n' "$bad" | sed 's/^/  /' >&2
		case "$bad" in
		*R_ARM_REL32*) hint=" (position-independent code: build with -fno-pie)" ;;
		*) hint="" ;;
		esac
		die "$ko has relocations the 2.6.21 module loader refuses$hint"
	fi
}

build() {
	work=$1
	out=$2
	shift 2
	kdir="" config=smdk2416 trees=$here/build/board-kernel arch=arm cross=arm-linux-gnueabi-
	src=$here/tolvex
	w=""
	for a in "$@"; do
		case "$a" in
		KDIR=*) kdir=${a#KDIR=} ;;
		CONFIG=*) config=${a#CONFIG=} ;;
		TREES=*) trees=${a#TREES=} ;;
		ARCH=*) arch=${a#ARCH=} ;;
		CROSS_COMPILE=*) cross=${a#CROSS_COMPILE=} ;;
		SRC=*) src=${a#SRC=} ;;
		W=*) w=${a#W=} ;;
		*) die "unknown setting '$a'" ;;
		esac
	done
	# Empty settings (make dist passes them through) take the defaults.
	arch=${arch:-arm}
	cross=${cross:-arm-linux-gnueabi-}
	config=${config:-smdk2416}
	if [ -z "$kdir" ]; then
		kdir=$(CROSS_COMPILE=$cross "$here/scripts/board-kernel.sh" "$config" "$trees")
		what="the bundled tree ($config)"
	else
		[ -d "$kdir" ] || die "KDIR $kdir is not a folder"
		kdir=$(cd "$kdir" && pwd)
		what=$kdir
	fi

	rm -rf "$work"
	mkdir -p "$work"
	work=$(cd "$work" && pwd)
	cp "$src/tolvex.c" "$src/tolvex.h" "$src/Kbuild" "$src/Makefile" "$work/"
	# The kit's version for modinfo: the source kit's VERSION file, or the
	# repository's when built from the repository's tolvex/.
	if [ -f "$src/VERSION" ]; then
		cp "$src/VERSION" "$work/"
	elif [ -f "$src/../VERSION" ]; then
		cp "$src/../VERSION" "$work/"
	fi
	# The module's folder and the kernel tree are recorded in the debug
	# information as if the kit sat in $ROOT (as CMakeLists.txt does for the
	# programs), so that the same commit gives the same module wherever it
	# was cloned; folders outside the kit keep their names. KCFLAGS: the
	# bundled tree takes it with the kit's patch, later kernels by themselves.
	kcflags="-ffile-prefix-map=$kdir=$(kit_path "$kdir") -ffile-prefix-map=$work=$(kit_path "$work")"
	if [ "$w" = 1 ]; then
		echo "EXTRA_CFLAGS += -Wextra -Wunused -Wno-unused-parameter -Wmissing-declarations -Wmissing-format-attribute -Wmissing-prototypes -Wold-style-definition -Wmissing-include-dirs -Wunused-but-set-variable -Wunused-const-variable -Wpacked-not-aligned -Wformat-overflow -Wformat-truncation -Wstringop-overflow -Wstringop-truncation -Wrestrict -Wundef -Wno-missing-field-initializers -Wno-sign-compare -Wno-type-limits -Wno-shift-negative-value" >>"$work/Kbuild"
	fi
	log=$work/build.log
	if ! GIT_CEILING_DIRECTORIES=$(dirname "$kdir") make -C "$work" KDIR="$kdir" \
		ARCH="$arch" CROSS_COMPILE="$cross" KCFLAGS="$kcflags" >"$log" 2>&1; then
		cat "$log" >&2
		die "tolvex.ko did not build against $what (ARCH=$arch CROSS_COMPILE=$cross)"
	fi
	# The module's own files must build warning-free, and modpost must
	# find every symbol it needs (when the tree has a symbol list).
	warnings=$({
		grep -F "$work/" "$log" | grep -E ':[0-9]+:[0-9]+: warning:'
		grep -E '^WARNING: .*tolvex\.ko' "$log"
	} || true)
	if [ -n "$warnings" ]; then
		printf '%s\n' "$warnings" >&2
		die "warnings in the module build against $what (log: $log)"
	fi
	[ -f "$work/tolvex.ko" ] || die "no tolvex.ko built (log: $log)"
	check "$work/tolvex.ko"
	mkdir -p "$(dirname "$out")"
	cp "$work/tolvex.ko" "$out.tmp"
	mv "$out.tmp" "$out"
	echo "board-module: $out: $(wc -c <"$out") bytes, vermagic '$VERMAGIC', built against $what"
}

case "${1:-}" in
build)
	[ $# -ge 3 ] || die "usage: $0 build <work dir> <out.ko> [KDIR=..] [CONFIG=..] [TREES=..] [ARCH=..] [CROSS_COMPILE=..] [SRC=..] [W=1]"
	shift
	build "$@"
	;;
check)
	[ $# = 2 ] || die "usage: $0 check <module.ko>"
	check "$2"
	echo "board-module: $2: ELF32 ARM EABI5, vermagic '$VERMAGIC', relocations fit the 2.6.21 loader"
	;;
*) die "usage: $0 build <work dir> <out.ko> [NAME=value...] | check <module.ko>" ;;
esac
