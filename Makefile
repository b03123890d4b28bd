# SPDX-License-Identifier: GPL-2.0-only
# The kit's two commands are `make demo` and `make test`; `make dist` collects
# the deliverables. Each first installs what is missing (scripts/deps.sh).
# `make help` lists every target.

SHELL := /bin/bash
.SHELLFLAGS := -eu -o pipefail -c
KDIR ?=
ARCH ?=
CROSS_COMPILE ?=
BOARD_CONFIG ?= smdk2416
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
# C/C++ sources in the kit's style: all but the kernel-style module.
FORMATTED = git ls-files '*.cpp' '*.h' '*.hpp' '*.c' | grep -v '^tolvex/'

# Full output of builds and tests goes here; the terminal gets a summary.
LOGS := build/logs

.PHONY: all help deps arm win32 host host-asan fuzz-build fuzz memcheck test lint demo bench dist dist-check clean format

all: host

help:
	@echo "make            install what is missing, build arm and win32, then the host preset (tools on the stand-ins, tests)"
	@echo "make test       lint, build all presets, make dist-check, run every test suite; one verdict line"
	@echo "make demo       show the three tools working on the stand-ins"
	@echo "make dist       the deliverables in dist/ [KDIR=<board tree>] [BOARD_CONFIG=smdk2416|smdk2450]"
	@echo "make dist-check make dist of this commit in two fresh clones in other folders; dist/ must be identical (~30 s)"
	@echo "make fuzz       every fuzz harness for FUZZ_SECONDS (default 60) each; findings under build/fuzz/"
	@echo "make memcheck   the unit test programs under valgrind memcheck (part of make test)"
	@echo "make bench      prnfeed throughput and peak memory (native, and under wine where it runs)"
	@echo "make lint       formatting (clang-format) and shell scripts (shellcheck)"
	@echo "make format     apply the kit's clang-format style"
	@echo "make clean      remove build/, dist/ and compile_commands.json"
	@echo "make deps       install the missing Debian packages (root or sudo, only when some are missing)"
	@echo "make arm | win32 | host | host-asan | fuzz-build    configure and build one CMake preset"
	@echo "Logs of the last builds and test runs: $(LOGS)/"

deps:
	@./scripts/deps.sh

# configure + build one preset (arm and win32 also install into build/install/,
# where the host tests find them); the output goes to a log, shown on failure
define preset
	@echo "== build $(1)"
	@mkdir -p $(LOGS)
	@{ cmake --preset $(1) && cmake --build --preset $(1) -j$(JOBS); } >$(LOGS)/build-$(1).log 2>&1 || \
		{ tail -n 60 $(LOGS)/build-$(1).log; echo "build $(1) failed (full log: $(LOGS)/build-$(1).log)"; exit 1; }
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

# The fuzz harnesses (clang with libFuzzer and the sanitizers).
fuzz-build: deps
	$(call preset,fuzz)

# A longer campaign than make test's: each harness for FUZZ_SECONDS.
fuzz: fuzz-build
	@./scripts/fuzz.sh build/fuzz $(FUZZ_SECONDS)

# the release rebuilt byte for byte in two other folders (make dist-check),
# then unit and real-target on the host build, unit again under the sanitizers
# and under valgrind, then the fuzz harnesses over their corpora and a short run
test: deps lint arm win32 host host-asan fuzz-build
	@echo "== dist-check"
	@./scripts/dist-reproducible.sh >$(LOGS)/dist-check.log 2>&1 || \
		{ tail -n 60 $(LOGS)/dist-check.log; echo "dist-check failed (full log: $(LOGS)/dist-check.log)"; exit 1; }
	@grep -m1 'identical' $(LOGS)/dist-check.log
	@./scripts/run-tests.sh $(LOGS)/test.log "unit=--preset unit" \
		"real-target=--preset real-target" "host-asan=--preset host-asan" \
		"memcheck=--preset memcheck" "fuzz=--preset fuzz"

# the unit test programs under valgrind memcheck only (make test runs it too)
memcheck: deps host
	@./scripts/run-tests.sh $(LOGS)/memcheck.log "memcheck=--preset memcheck"

lint: deps
	@echo "== lint"
	@$(FORMATTED) | xargs clang-format --dry-run -Werror
	@git ls-files '*.sh' | xargs shellcheck

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

# The release rebuilds byte for byte: make dist of the committed HEAD in two
# fresh clones in different folders, compared (scripts/dist-reproducible.sh).
dist-check: deps
	@./scripts/dist-reproducible.sh

format:
	$(FORMATTED) | xargs clang-format -i

clean:
	rm -rf build dist compile_commands.json
