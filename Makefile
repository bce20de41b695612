# The two front-door commands (see README):
#   make demo   install what is missing, build, score the example messages
#   make test   install what is missing, build both targets, run every test:
#               native (with the crash tests), AddressSanitizer + UBSan (unit,
#               plug-in and host tests, every fuzz target briefly from its
#               seeds), ThreadSanitizer (eight threads over the exports), and
#               the Windows suites under Wine; each part says how long it took
# Helpers: make build (native only), make windows, make bench, make accuracy,
#          make fuzz (the fuzz targets, in build/asan), make test-asan, make test-tsan.
#   make bench     the Google Benchmark programs are built; the large-rule-set
#                  benchmark (SpamAssassin's rules, public corpus, beside
#                  bogofilter), the accuracy check of the shipped profile and the
#                  network checks' share of the time per message run
#   make accuracy  the accuracy check alone
#   make release   the release packages in build/release/ (Windows zips and
#                  installer, Debian package, SHA256SUMS), then make test-release:
#                  the installer under Wine and the package on a fresh Debian
SHELL := /bin/bash
JOBS ?= $(shell nproc)

.PHONY: demo test deps deps-windows deps-bench build windows test-native test-windows test-asan \
	test-tsan bench bench-build accuracy fuzz clean deps-release release test-release

# Runs one part of the test run and says how long it took.
define timed
	@start=$$(date +%s); $(MAKE) --no-print-directory $(1) || exit 1; \
	  echo "make test: $(1) took $$(( $$(date +%s) - start )) s"
endef

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

# The sanitizer builds: leaks are looked for at every exit (the plug-in is
# loaded and unloaded many times), and any report fails the run.
test-asan:
	@cmake --preset asan >/dev/null
	@cmake --build build/asan -j $(JOBS)
	@cd build/asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure

test-tsan:
	@cmake --preset tsan >/dev/null
	@cmake --build build/tsan -j $(JOBS) --target quelta_export_threads
	@cd build/tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest --output-on-failure

test: deps
	$(call timed,test-native)
	$(call timed,test-asan)
	$(call timed,test-tsan)
	$(call timed,test-windows)
	@echo "All tests passed (native, sanitizers, fuzz seeds and Windows)."

deps-bench:
	@scripts/install-deps.sh --bench

bench-build: deps-bench
	@cmake --preset bench >/dev/null && cmake --build build/bench -j $(JOBS)

bench: bench-build
	@bench/spam_bench.py speed --compare-prefilter
	@bench/spam_bench.py accuracy
	@bench/net_profile.sh build/bench/quelta

accuracy: bench-build
	@bench/spam_bench.py accuracy

deps-release:
	@scripts/install-deps.sh --release
	@scripts/build-pcre2-mingw.sh

# The packages (scripts/release.sh builds only the targets it packages),
# then their tests; each part says how long it took.
release: deps-release
	@start=$$(date +%s); JOBS=$(JOBS) scripts/release.sh || exit 1; \
	  echo "make release: the packages took $$(( $$(date +%s) - start )) s"
	@start=$$(date +%s); $(MAKE) --no-print-directory test-release || exit 1; \
	  echo "make release: their tests took $$(( $$(date +%s) - start )) s"

test-release:
	@tests/release/installer_test.sh
	@tests/release/deb_test.sh

fuzz: deps
	@cmake --preset asan >/dev/null && cmake --build build/asan -j $(JOBS)

clean:
	rm -rf build
