# Tessaro: build, test and run. Every target installs what it needs first.
SHELL := /bin/bash
PACKAGES := cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev xvfb locales
JOBS ?= $(shell nproc)
# `make fuzz` also needs Clang and its libFuzzer runtime; `make deps fuzz` or
# `make fuzz` installs them, every other target goes without.
FUZZ_PACKAGES := clang libclang-rt-14-dev
ifneq ($(filter fuzz,$(MAKECMDGOALS)),)
PACKAGES += $(FUZZ_PACKAGES)
endif
# Seconds each fuzz target runs.
FUZZ_SECONDS ?= 60

.PHONY: all deps build test bench fuzz run clean

all: build

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	fi

build: deps
	cmake --preset debug
	cmake --build --preset debug -j $(JOBS)

# Two builds, one after the other so they do not share the cores: AddressSanitizer
# with UndefinedBehaviorSanitizer, then ThreadSanitizer, the same test shards in each.
test: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS)

bench: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	@for b in Bin/release/bin/bench_*; do [ -x "$$b" ] || continue; echo "== $$b"; "$$b" || exit 1; done

# Every fuzz target, built with Clang and libFuzzer, runs FUZZ_SECONDS seconds,
# JOBS of them at a time; a finding fails the run (Tools/fuzz.sh says where it is).
fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	@bash Tools/fuzz.sh Bin/fuzz $(FUZZ_SECONDS) $(JOBS)

# Builds only the programs it starts and what they link, not the test programs.
run: deps
	cmake --preset debug
	cmake --build --preset debug -j $(JOBS) --target run_programs
	@bash Tools/run.sh Bin/debug/bin

clean:
	rm -rf Bin
