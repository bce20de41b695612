# The two front-door commands (see README):
#   make demo   install what is missing, build, score the example messages
#   make test   install what is missing, build both targets, run every test
# Helpers: make build (native only), make windows, make bench, make accuracy, make fuzz.
#   make bench     the Google Benchmark programs are built; the large-rule-set
#                  benchmark (SpamAssassin's rules, public corpus, beside
#                  bogofilter), the accuracy check of the shipped profile and the
#                  network checks' share of the time per message run
#   make accuracy  the accuracy check alone
SHELL := /bin/bash
JOBS ?= $(shell nproc)

.PHONY: demo test deps deps-windows deps-bench build windows test-native test-windows bench bench-build accuracy fuzz clean

deps:
	@scripts/install-deps.sh

build:
	@cmake --preset native >/dev/null
	@cmake --build build/native -j $(JOBS)

demo: deps build
	@scripts/demo.sh

deps-windows: deps
	@scripts/build-pcre2-mingw.sh

windows: deps-windows
	@cmake --preset win32 >/dev/null && cmake --build build/win32 -j $(JOBS)
	@cmake --preset win64 >/dev/null && cmake --build build/win64 -j $(JOBS)
	@scripts/check-exports.sh

test-native: build
	@scripts/check-layers.sh
	@cd build/native && ctest --output-on-failure

test-windows: windows
	@scripts/run-wine-tests.sh

test: deps
	@$(MAKE) --no-print-directory test-native
	@$(MAKE) --no-print-directory test-windows
	@echo "All tests passed (native and Windows)."

deps-bench:
	@scripts/install-deps.sh --bench

bench-build: deps-bench
	@cmake --preset bench >/dev/null && cmake --build build/bench -j $(JOBS)

bench: bench-build
	@bench/spam_bench.py speed
	@bench/spam_bench.py accuracy
	@bench/net_profile.sh build/bench/quelta

accuracy: bench-build
	@bench/spam_bench.py accuracy

fuzz: deps
	@cmake --preset fuzz >/dev/null && cmake --build build/fuzz -j $(JOBS)

clean:
	rm -rf build
