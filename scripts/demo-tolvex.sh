#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-only
# The tolvex module in the user-space kernel stand-in (board kernel 2.6.21):
# load, port register read and write, stop-mode sequence, ADC sample, unload.
set -eu
cd "$(dirname "$0")/.."
exec build/host/sim/linux-kernel/tolvex-demo
