#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# Collects the kit's deliverables into dist/ (make dist runs it after the arm
# and win32 builds):
#
#   dist.sh [KDIR=<board tree>] [CONFIG=smdk2416|smdk2450] [ARCH=arm]
#           [CROSS_COMPILE=<prefix>]
#
# quenzor, tolvex.h, board/ (board-gcc, the start file and header that
# build a program the board starts) and the module's source kit (with the
# kit's patches to the board's tree in tolvex/patches/) from the arm build,
# prnfeed.exe from the win32 build (their install rules, component dist),
# tolvex.ko for the board from scripts/board-module.sh (settings passed on).
# The three binaries are shipped stripped, each naming its debug file in
# debug/ (GNU debuglink); README.txt (CRLF, for Windows users), the
# station batch file station.bat (taken from the guide, which quotes it),
# LICENSE and CHANGELOG.md go beside them. Then one archive of everything
# (printer-board-kit-<version>.tar.gz), one of the Windows side
# (printer-board-kit-<version>-windows.zip) and SHA256SUMS over all files.
# Everything is checked before dist/ appears; any failure leaves no dist/.
# The same commit gives the same dist/, byte for byte, in any folder and
# under any umask (make dist-check builds it twice and compares).
set -eu

KIT=printer-board-kit
ARM=arm-linux-gnueabi-
WIN=i686-w64-mingw32-
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

die() {
	echo "dist: $*; nothing written to dist/" >&2
	exit 1
}

# The board module's settings (KDIR=, CONFIG=, ARCH=, CROSS_COMPILE=) go to
# board-module.sh as they are; the cross prefix also picks the binutils that
# strip the module.
cross=""
for a in "$@"; do
	case "$a" in
	CROSS_COMPILE=*) cross=${a#CROSS_COMPILE=} ;;
	esac
done
[ -n "$cross" ] || cross=$ARM

version=$(head -n 1 VERSION)
case "$version" in
[0-9]*.[0-9]*.[0-9]*) ;;
*) die "VERSION holds '$version', not <major>.<minor>.<patch>" ;;
esac
name=$KIT-$version
# Archive members and the PE header's time stamp (which strip and objcopy
# rewrite) get the time of the last commit, so that the same tree gives the
# same dist/.
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || stat -c %Y VERSION)}
export SOURCE_DATE_EPOCH="$epoch"

out=build/dist.tmp
rm -rf dist "$out" build/dist.win build/dist.zip build/dist.tar.gz build/dist.sums
cmake --install build/arm --prefix "$out" --component dist >/dev/null ||
	die "the arm build did not install (make arm)"
cmake --install build/win32 --prefix "$out" --component dist >/dev/null ||
	die "the win32 build did not install (make win32)"
./scripts/board-module.sh build build/tolvex-board "$out/tolvex.ko" "$@" ||
	die "no tolvex.ko for the board"

# The debug information goes to debug/<file>.debug, the shipped file keeps a
# debuglink to it (checked by split-debug.sh).
split() {
	./scripts/split-debug.sh "$1" "$2" "$out/$3" "$out/$3" "$out/debug/$3.debug" ||
		die "$3 not stripped"
	"$1objdump" -h "$out/debug/$3.debug" | grep -q ' \.debug_info' ||
		die "debug/$3.debug holds no debug information (built without -g?)"
}
split "$ARM" --strip-all quenzor
split "$WIN" --strip-all prnfeed.exe
# Only the debug sections: the kernel's loader needs the module's symbols.
split "$cross" --strip-debug tolvex.ko

cp LICENSE CHANGELOG.md "$out/"
sed -e "s/@VERSION@/$version/g" -e 's/\r*$/\r/' packaging/README.txt >"$out/README.txt"
./scripts/guide-text.sh station packaging/README.txt >"$out/station.bat" || die "no station.bat in the guide"

# The version, where each platform shows it.
got=$(modinfo -F version "$out/tolvex.ko") || die "modinfo cannot read tolvex.ko"
[ "$got" = "$version" ] || die "tolvex.ko has MODULE_VERSION '$got', not $version"
"${ARM}readelf" -p .comment "$out/quenzor" | grep -q "quenzor $version\$" ||
	die "quenzor's .comment does not name version $version"
rc=$("${WIN}windres" -J coff -O rc -i "$out/prnfeed.exe") || die "no resources in prnfeed.exe"
for want in "VALUE \"FileVersion\", \"$version\"" "VALUE \"ProductVersion\", \"$version\""; do
	printf '%s\n' "$rc" | grep -qF "$want" || die "prnfeed.exe's version resource lacks $want"
done
if [ ! -x "$out/board/board-gcc" ] || [ ! -f "$out/board/board_start.c" ]; then
	die "board/ lacks board-gcc or its start file"
fi
if grep -q '@VERSION@' "$out/README.txt" || grep -qv "$(printf '\r')\$" "$out/README.txt"; then
	die "README.txt is not version-substituted CRLF text"
fi
# The guide travels without the kit's sources: it may not send its reader
# to the kit's README.
if grep -n 'README\.md' "$out/README.txt"; then
	die "README.txt points to README.md, which the release does not contain"
fi
./scripts/guide-text.sh station "$out/README.txt" | cmp -s - "$out/station.bat" ||
	die "README.txt does not quote station.bat as shipped"

# Checksums of the contents (they go into the full archive too), the
# archives, then the checksums of the archives added.
(cd "$out" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum) >build/dist.sums
mv build/dist.sums "$out/SHA256SUMS"
find "$out" -exec touch -h -d "@$epoch" {} +
tar -C "$out" --sort=name --owner=0 --group=0 --numeric-owner --mode=u+rwX,go+rX,go-w \
	--mtime="@$epoch" --transform="s|^\.|$name|" -cf - . | gzip -9n >build/dist.tar.gz
zipdir=build/dist.win/$name-windows
mkdir -p "$zipdir"
cp "$out/prnfeed.exe" "$out/station.bat" "$out/README.txt" "$zipdir/"
sed 's/\r*$/\r/' LICENSE >"$zipdir/LICENSE.txt"
# Modes as the files' kinds want them, whatever the umask: 755 for programs
# and folders, 644 for the rest (the zip keeps them; tar sets its own).
chmod -R u=rwX,go=rX build/dist.win
find build/dist.win -exec touch -h -d "@$epoch" {} +
# Members in name order (zip -r would take the folder's order on disk).
(cd build/dist.win && find "$name-windows" | LC_ALL=C sort | TZ=UTC zip -q -X -9 -@ ../dist.zip)
mv build/dist.tar.gz "$out/$name.tar.gz"
mv build/dist.zip "$out/$name-windows.zip"
rm -rf build/dist.win
(cd "$out" && sha256sum "$name.tar.gz" "$name-windows.zip" >>SHA256SUMS)

(cd "$out" && sha256sum --quiet -c SHA256SUMS) || die "SHA256SUMS does not verify"
n=$(tar -tzf "$out/$name.tar.gz" | grep -vc '/$')
want=$(($(wc -l <"$out/SHA256SUMS") - 2 + 1))
[ "$n" = "$want" ] || die "$name.tar.gz holds $n files, want $want"

chmod -R u=rwX,go=rX "$out"
mv "$out" dist
echo "dist: $name: stripped binaries with debug/, versions checked, SHA256SUMS verified"
ls -l dist
