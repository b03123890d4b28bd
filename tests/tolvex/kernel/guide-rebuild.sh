#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# Runs the user's guide's steps that build tolvex.ko against a board kernel
# tree, as written, from the release's files:
#
#   guide-rebuild.sh <guide> <source kit> <board-kernel dir> <work dir>
#
# <guide>: packaging/README.txt. Its section "Building the module for another
# board kernel tree" gives the commands (lines "  $ <command>") and, on the
# lines after a command, what that command prints.
# <source kit>: tolvex/ as the release holds it (the module's sources and the
# kit's patches to the tree), from the arm preset's install tree.
# <board-kernel dir>: third_party/board-kernel; its archive is checked against
# its sha256 and unpacked, unpatched, into <work dir>, the tree the guide
# calls /path/to/linux-2.6.21.5-cfs-v19. That path is the one thing changed
# in the commands. <work dir> is made a git work tree, as a user's folder
# may be: the steps must keep its commit out of the version magic.
# The result must carry the board kernel's vermagic and pass
# scripts/board-module.sh check.
set -eu

VERMAGIC='2.6.21.5-cfs-v19 mod_unload ARMv5 '
ARCHIVE=linux-2.6.21.5-cfs-v19-subset.tar.xz
SECTION='Building the module for another board kernel tree'

die() {
	echo "guide-rebuild: $*" >&2
	exit 1
}

[ $# = 4 ] || die "usage: $0 <guide> <source kit> <board-kernel dir> <work dir>"
guide=$1
kit=$2
third=$3
work=$4
here=$(cd "$(dirname "$0")" && pwd)
[ -f "$kit/Kbuild" ] || die "no source kit in $kit (make arm installs it)"
ls "$kit"/patches/*.patch >/dev/null 2>&1 || die "the source kit $kit holds no patches/*.patch"

rm -rf "$work"
mkdir -p "$work/release"
work=$(cd "$work" && pwd)

# The section's commands, each as written but for the tree's path, into a
# script that keeps each command's output (standard output and error) in
# out.<n>; what the guide shows command <n> printing goes to want.<n>.
"$here/../../../scripts/guide-text.sh" rebuild "$guide" >"$work/steps" ||
	die "no commands in the guide's section '$SECTION'"
grep -q '/path/to/linux-2.6.21.5-cfs-v19' "$work/steps" ||
	die "the guide's steps no longer name the tree /path/to/linux-2.6.21.5-cfs-v19"
n=0
: >"$work/run.sh"
while IFS= read -r line; do
	case "$line" in
	'> '*)
		printf '%s\n' "${line#> }" >>"$work/want.$n"
		continue
		;;
	esac
	n=$((n + 1))
	printf '%s\n' "$line" | sed "s|/path/to/|$work/|g" >"$work/cmd.$n"
	printf '{ %s\n} >%s 2>&1\n' "$(cat "$work/cmd.$n")" "$work/out.$n" >>"$work/run.sh"
done <"$work/steps"

# The tree, as a user gets it: the bundled archive, checked and unpacked.
(cd "$third" && sha256sum --quiet -c "$ARCHIVE.sha256") || die "$third/$ARCHIVE does not match its sha256"
tar -xJf "$third/$ARCHIVE" -C "$work"
if command -v git >/dev/null; then
	git -C "$work" init -q
	git -C "$work" -c user.name=kit -c user.email=kit@localhost commit -q --allow-empty -m tree
fi
cp -R "$kit" "$work/release/tolvex"

unset GIT_DIR GIT_WORK_TREE GIT_CEILING_DIRECTORIES
start=$(date +%s)
echo "guide-rebuild: running the guide's $n commands in $work/release:"
i=0
while [ "$i" -lt "$n" ]; do
	i=$((i + 1))
	sed 's/^/  $ /' "$work/cmd.$i"
done
if ! (cd "$work/release" && sh -e "$work/run.sh"); then
	i=$n # the last command that ran
	while [ "$i" -gt 1 ] && [ ! -e "$work/out.$i" ]; do i=$((i - 1)); done
	tail -n 40 "$work/out.$i"
	die "the guide's steps failed at '$(cat "$work/cmd.$i")' (output: $work/out.$i)"
fi
echo "guide-rebuild: the steps took $(($(date +%s) - start)) s"

# What the guide shows each command printing; trailing blanks are compared
# apart, as the guide tells them in words.
i=0
checked=0
while [ "$i" -lt "$n" ]; do
	i=$((i + 1))
	[ -f "$work/want.$i" ] || continue
	sed 's/ *$//' "$work/want.$i" >"$work/want-trimmed.$i"
	sed 's/ *$//' "$work/out.$i" >"$work/got.$i"
	if ! diff -u "$work/want-trimmed.$i" "$work/got.$i"; then
		die "'$(cat "$work/cmd.$i")' printed other lines than the guide shows (- guide, + got)"
	fi
	checked=$((checked + 1))
done
[ "$checked" -gt 0 ] || die "the guide shows no output of its steps"

ko=$work/release/tolvex/tolvex.ko
got=$(modinfo -F vermagic "$ko") || die "modinfo cannot read $ko"
[ "$got" = "$VERMAGIC" ] || die "$ko has vermagic '$got', want '$VERMAGIC'"
"$here/../../../scripts/board-module.sh" check "$ko"
echo "guide-rebuild: passed: $ko, vermagic '$got'"
