# SPDX-License-Identifier: GPL-2.0-only
# The kit's two commands are `make demo` and `make test`; `make dist` collects
# the deliverables. Each first installs what is missing (scripts/deps.sh).
#
#   make test                      install, build all four presets, lint, run CTest
#   make demo                      install, build, show the three tools on the stand-ins
#   make dist [KDIR=<board tree>] [BOARD_CONFIG=smdk2416|smdk2450] [CROSS_COMPILE=<prefix>]
#                                  tolvex.ko for the board (default: the bundled tree)
#   make lint                      formatting (clang-format) and shell scripts (shellcheck)

SHELL := /bin/bash
.SHELLFLAGS := -eu -o pipefail -c
KDIR ?=
ARCH ?=
CROSS_COMPILE ?=
BOARD_CONFIG ?= smdk2416
JOBS ?= $(shell nproc)
# C/C++ sources in the kit's style: all but the kernel-style module.
FORMATTED = git ls-files '*.cpp' '*.h' '*.hpp' '*.c' | grep -v '^tolvex/'

.PHONY: all deps arm win32 host host-asan test lint demo bench dist clean format

all: host

deps:
	@./scripts/deps.sh

# configure + build one preset (arm and win32 also install into build/install/,
# where the host tests find them)
define preset
	@echo "== build $(1)"
	@cmake --preset $(1) >build-$(1).log 2>&1 || { cat build-$(1).log; rm -f build-$(1).log; exit 1; }
	@rm -f build-$(1).log
	@cmake --build --preset $(1) -j$(JOBS)
endef

arm: deps
	$(call preset,arm)

win32: deps
	$(call preset,win32)

host: deps arm win32
	$(call preset,host)
	@ln -sf build/host/compile_commands.json compile_commands.json

host-asan: deps arm win32
	$(call preset,host-asan)

test: deps lint arm win32 host host-asan
	@cmake --build --preset host --target kernel-image
	@echo "== tests: unit"
	ctest --preset unit
	@echo "== tests: real-target"
	ctest --preset real-target
	@echo "== tests: host-asan unit (AddressSanitizer + UndefinedBehaviorSanitizer)"
	ctest --preset host-asan

lint: deps
	@echo "== lint"
	$(FORMATTED) | xargs clang-format --dry-run -Werror
	shellcheck scripts/*.sh tests/*/*.sh

demo: deps arm win32 host
	@./scripts/demo.sh

# prnfeed throughput and peak memory on the native build, and of the real
# prnfeed.exe under wine beside its floor (figures, not a test)
bench: deps host
	@./scripts/bench-prnfeed.sh build/host
	@./scripts/bench-prnfeed-wine.sh build/install/win32

# quenzor, tolvex.h and the module kit from the arm preset, prnfeed.exe from
# win32, and tolvex.ko for the board (scripts/board-module.sh: the bundled
# 2.6.21.5-cfs-v19 tree in the BOARD_CONFIG configuration, or KDIR), stripped
# with their debug files, README.txt, LICENSE, the versioned archives and
# SHA256SUMS (scripts/dist.sh). dist/ appears only when everything passed.
dist: deps arm win32
	./scripts/dist.sh KDIR="$(KDIR)" CONFIG="$(BOARD_CONFIG)" ARCH="$(ARCH)" CROSS_COMPILE="$(CROSS_COMPILE)"

format:
	$(FORMATTED) | xargs clang-format -i

clean:
	rm -rf build dist compile_commands.json
