#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# Checks that a release rebuilds byte for byte (make dist-check runs it):
#
#   dist-reproducible.sh [<repository>] [<commit>]
#
# Clones the commit (default: the repository's HEAD; the repository defaults
# to this kit) twice, into two temporary folders of different names and
# depths, runs make dist in each, the second under another umask and time
# zone, and compares the two dist/ folders: every file's bytes and mode.
# Uncommitted changes are not part of the check. About half a minute on 2
# idle cores; each clone takes ~30 MB, removed when the check passes and kept
# for a look when it fails. Settings for make dist (KDIR=, BOARD_CONFIG=, ...)
# come from make's command line as usual. Environment: TMPDIR.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
repo=${1:-$here}

die() {
	echo "dist-reproducible: $*" >&2
	exit 1
}

commit=$(git -C "$repo" rev-parse --verify "${2:-HEAD}^{commit}") || die "no commit ${2:-HEAD} in $repo"
if [ -z "${2:-}" ] && [ -n "$(git -C "$repo" status --porcelain --untracked-files=no)" ]; then
	echo "dist-reproducible: $repo has uncommitted changes; they are not part of the check" >&2
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/kit-reproducible.XXXXXX")
trap 'rm -rf "$tmp"; exit 130' HUP INT TERM
one=$tmp/a/kit
two=$tmp/another/folder/deeper/down/printer-board-kit

# build <folder> <umask> <time zone>: a clone of the commit and its make dist
build() {
	mkdir -p "$(dirname "$1")"
	if ! git clone -q --no-checkout "$repo" "$1" || ! git -C "$1" checkout -q --detach "$commit"; then
		die "cannot clone $commit of $repo into $1"
	fi
	echo "dist-reproducible: make dist in $1 (umask $2, TZ=$3)"
	if ! (cd "$1" && umask "$2" && TZ=$3 make dist) >"$1.log" 2>&1; then
		tail -n 40 "$1.log" >&2
		die "make dist failed in $1 (log: $1.log)"
	fi
}

# The files of a dist/ folder, each with its mode.
listing() { (cd "$1" && find . -printf '%p %M\n' | LC_ALL=C sort); }

start=$(date +%s)
build "$one" 022 UTC
build "$two" 077 Pacific/Chatham
listing "$one/dist" >"$one.list"
listing "$two/dist" >"$two.list"
same=1
diff -u "$one.list" "$two.list" >&2 || same=0
diff -r "$one/dist" "$two/dist" >&2 || same=0
[ "$same" = 1 ] || die "dist/ differs between $one and $two (both kept)"
files=$(grep -c ' -[^ ]*$' "$one.list")
echo "dist-reproducible: commit $(git -C "$repo" rev-parse --short "$commit"): dist/ identical ($files files, bytes and modes) from two folders, in $(($(date +%s) - start)) s"
echo "dist-reproducible: SHA256SUMS (its own sha256 $(sha256sum <"$one/dist/SHA256SUMS" | cut -d' ' -f1)):"
sed 's/^/  /' "$one/dist/SHA256SUMS"
rm -rf "$tmp"
