# The kit's two commands are `make demo` and `make test`; `make dist` collects
# the deliverables. Each first installs what is missing (scripts/deps.sh).
#
#   make test                      install, build all four presets, run CTest
#   make demo                      install, build, show the three tools on the stand-ins
#   make dist [KDIR=<board tree> ARCH=arm CROSS_COMPILE=arm-linux-gnueabi-]

SHELL := /bin/bash
.SHELLFLAGS := -eu -o pipefail -c
KDIR ?=
ARCH ?=
CROSS_COMPILE ?=

.PHONY: all deps arm win32 host host-asan test demo bench dist clean format

all: host

deps:
	@./scripts/deps.sh

# configure + build one preset
define preset
	@echo "== build $(1)"
	@cmake --preset $(1) >build-$(1).log 2>&1 || { cat build-$(1).log; rm -f build-$(1).log; exit 1; }
	@rm -f build-$(1).log
	@cmake --build --preset $(1)
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

test: deps arm win32 host host-asan
	@echo "== tests: host"
	ctest --preset host
	@echo "== tests: host-asan (AddressSanitizer + UndefinedBehaviorSanitizer)"
	ctest --preset host-asan -LE real-target

demo: deps arm win32 host
	@./scripts/demo.sh

# prnfeed throughput and peak memory on the native build, and of the real
# prnfeed.exe under wine beside its floor (figures, not a test)
bench: deps host
	@./scripts/bench-prnfeed.sh build/host
	@./scripts/bench-prnfeed-wine.sh build/win32

dist: deps arm win32
	rm -rf dist
	mkdir -p dist/tolvex
	cp build/arm/SPI/SRC/quenzor dist/quenzor
	cp build/win32/prnfeed/prnfeed.exe dist/prnfeed.exe
	cp tolvex/tolvex.h dist/tolvex.h
	cp tolvex/tolvex.c tolvex/tolvex.h tolvex/Kbuild tolvex/Makefile dist/tolvex/
	@if [ -n "$(KDIR)" ]; then \
		rm -rf build/tolvex-dist && mkdir -p build/tolvex-dist && \
		cp dist/tolvex/* build/tolvex-dist/ && \
		$(MAKE) -C build/tolvex-dist KDIR="$(KDIR)" \
			$(if $(ARCH),ARCH=$(ARCH)) $(if $(CROSS_COMPILE),CROSS_COMPILE=$(CROSS_COMPILE)) && \
		cp build/tolvex-dist/tolvex.ko dist/tolvex.ko; \
	else \
		echo "dist: no KDIR given, tolvex.ko not built (source kit in dist/tolvex/)"; \
	fi
	@ls -l dist dist/tolvex

format:
	git ls-files '*.cpp' '*.h' '*.hpp' '*.c' | grep -v '^tolvex/' | xargs clang-format -i

clean:
	rm -rf build dist compile_commands.json
