# Tessaro: build, test and run. Every target installs what it needs first.
SHELL := /bin/bash
PACKAGES := cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev
JOBS ?= $(shell nproc)

.PHONY: all deps build test bench run clean

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

run: build
	@bash Tools/run.sh Bin/debug/bin

clean:
	rm -rf Bin
