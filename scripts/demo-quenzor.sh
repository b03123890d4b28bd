#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# quenzor as built for the board (installed in build/install/arm), run under
# the board's emulator (stand-in/run-board) with the SPI driver stand-in in
# place of the board's driver: one run sends 64 bytes, a second run receives
# them back in loopback and checks them.
set -eu
cd "$(dirname "$0")/.."
arm=${QUENZOR_ARM_DIR:-$PWD/build/install/arm}
quenzor=$arm/quenzor
standin=$arm/stand-in/libspistandin.so
run_board=$arm/stand-in/run-board
for f in "$quenzor" "$standin" "$run_board"; do
	[ -e "$f" ] || { echo "demo-quenzor: $f is missing (make arm)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
SPI_STANDIN_TRACE=$work/trace
SPI_STANDIN_STATE=$work/wire
SPI_STANDIN_RX=loopback
export SPI_STANDIN_TRACE SPI_STANDIN_STATE SPI_STANDIN_RX

run() {
	echo "\$ quenzor $*"
	"$run_board" -E LD_PRELOAD="$standin" "$quenzor" "$@"
}

run 64 0 0 0
run 64 1 1 0

# One line per run: what reached the driver, in order.
echo "stand-in recorded:"
awk '
	/^open /  { line = "  open " $2 " " $3 }
	/^ioctl / { line = line ", ioctl " $2 "=" $3 }
	/^write / { line = line ", write " $2 " bytes" }
	/^read /  { line = line ", read " $2 " bytes (" $NF " delivered)" }
	/^usleep/ { line = line ", pause " $2 " us" }
	/^close/  { print line ", close" }
' "$SPI_STANDIN_TRACE"
