# Front door: `make test` and `make demo` set up everything they need on a Debian machine.
# They print what was asked for; the build's own output shows only when a step fails, or
# always with V=1.

BUILD  := build
NATIVE := $(BUILD)/native
ASAN   := $(BUILD)/asan
WIN32  := $(BUILD)/win32
WIN64  := $(BUILD)/win64
JOBS   := $(shell nproc 2>/dev/null || echo 2)
V      ?= 0
export V
# WERROR=1 (as CI builds) makes every compiler warning an error, in the build folders it configures.
WERROR ?= 0
CMAKE  := cmake -DBR927_WERROR=$(if $(filter 1,$(WERROR)),ON,OFF)

MAKEFLAGS += --no-print-directory
QUIET := tools/quiet.sh

.PHONY: all deps deps-windows deps-all native asan win32 win64 windows wine-prefix test test-native test-windows \
	demo dist repro clean

all: native

deps:
	@tools/install-deps.sh native

deps-windows:
	@tools/install-deps.sh windows

deps-all:
	@tools/install-deps.sh native windows fuzz

# Each build folder is configured once; later builds re-run CMake themselves when its inputs
# change (a second configure with the same options would only warn about them).
$(NATIVE)/Makefile: | deps
	@$(QUIET) $(NATIVE)/configure.log $(CMAKE) -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(ASAN)/Makefile: | deps
	@$(QUIET) $(ASAN)/configure.log $(CMAKE) -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DBR927_SANITIZE=ON

# The Windows programs: the release (i686, static) and the x86_64 build that the tests run
# under Wine, with the core's tests and the program's end-to-end tests.
$(WIN32)/Makefile: | deps-windows
	@$(QUIET) $(WIN32)/configure.log $(CMAKE) -S . -B $(WIN32) \
		-DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF

$(WIN64)/Makefile: | deps-windows
	@$(QUIET) $(WIN64)/configure.log $(CMAKE) -S . -B $(WIN64) \
		-DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Release \
		-DBR927_RELEASE_EXE=$(abspath $(WIN32))/ZEK_BR927_config.exe \
		-DBR927_RELEASE_CONSOLE=$(abspath $(WIN32))/br927config.exe

native: $(NATIVE)/Makefile
	@$(QUIET) $(NATIVE)/build.log cmake --build $(NATIVE) -j$(JOBS)

asan: $(ASAN)/Makefile
	@$(QUIET) $(ASAN)/build.log cmake --build $(ASAN) -j$(JOBS)

win32: $(WIN32)/Makefile
	@$(QUIET) $(WIN32)/build.log cmake --build $(WIN32) -j$(JOBS)

win64: $(WIN64)/Makefile
	@$(QUIET) $(WIN64)/build.log cmake --build $(WIN64) -j$(JOBS)

windows: win32 win64

# The Wine prefix the Windows tests run in (made once, kept in the build folder).
wine-prefix: | deps-windows
	@tools/wine-env.sh $(BUILD) true

# Test runs print the failing tests with their output, and a summary (every test with V=1).
TESTS := tools/run-tests.sh --output-on-failure -j$(JOBS)

# Each test runs once; tools/wine-test.sh runs a test process once more only when Wine ended
# it at its start, before it wrote anything.
test-windows: windows wine-prefix
	@tools/wine-env.sh $(BUILD) $(TESTS) --test-dir $(WIN64) --timeout 300

# The native suites run once, in the build with AddressSanitizer and UBSan. Their temporary
# trees go to a RAM-backed folder where there is one: a test sees a click's flushes in the
# calls it makes (durabilityTest), so waiting for a disk to write them would only cost time.
TEST_TMPDIR := $(firstword $(wildcard /dev/shm) $(or $(TMPDIR),/tmp))
test-native: asan
	@TMPDIR=$(TEST_TMPDIR) ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 $(TESTS) --test-dir $(ASAN)

# Every suite. The native and the Windows parts run side by side, each after its own builds,
# so that one keeps the cores busy while the other links, waits for Wine or for a test. Each
# part's output is printed whole when it ends, and every part runs even when another fails.
test: deps-all
	@$(MAKE) -k -j8 --output-sync=target test-windows test-native fuzz-short

# Only what the demo runs: the console and the tree builder, the x86_64 window program and the
# driver that plays it on a virtual display.
demo: $(NATIVE)/Makefile $(WIN64)/Makefile
	@$(QUIET) $(NATIVE)/build.log cmake --build $(NATIVE) -j$(JOBS) --target br927config demo-tree
	@$(QUIET) $(WIN64)/build.log cmake --build $(WIN64) -j$(JOBS) --target ZEK_BR927_config demoDriver
	@tools/demo.sh $(NATIVE)
	@tools/demo-windows.sh $(WIN64)

# The release package: build/dist/ZEK_BR927_config-<version>.zip (version in VERSION).
dist: $(WIN32)/Makefile
	@$(QUIET) $(WIN32)/build.log cmake --build $(WIN32) -j$(JOBS) --target ZEK_BR927_config br927config
	@tools/dist.sh $(WIN32) $(BUILD)/dist

# Builds the release twice in two other folders and compares the packages byte for byte.
repro: deps-windows
	@tools/repro.sh $(BUILD)/repro

clean:
	rm -rf $(BUILD)

# ---- Proof under bad input, faults and load -------------------------------------------------
FUZZ         := $(BUILD)/fuzz
FUZZ_SECONDS ?= 300

.PHONY: fuzz-build fuzz fuzz-short

$(FUZZ)/Makefile:
	@tools/install-deps.sh native fuzz
	@CXX=clang++ $(QUIET) $(FUZZ)/configure.log $(CMAKE) -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=Debug -DBR927_FUZZ=ON -DBUILD_TESTING=OFF

fuzz-build: $(FUZZ)/Makefile
	@$(QUIET) $(FUZZ)/build.log cmake --build $(FUZZ) -j$(JOBS) --target stateFileFuzzer

# The state-file readers and writer against their model, for FUZZ_SECONDS (300 unless given).
fuzz: fuzz-build
	@tests/fuzz/run.sh $(FUZZ)/tests/fuzz/stateFileFuzzer $(FUZZ_SECONDS) $(FUZZ)/run

# The short run that `make test` includes.
fuzz-short: fuzz-build
	@tests/fuzz/run.sh $(FUZZ)/tests/fuzz/stateFileFuzzer 20 $(FUZZ)/run

.PHONY: soak
# 10,000 alternating clicks on each button through one long-lived console; prints figures.
SOAK_CLICKS ?= 10000
soak: $(NATIVE)/Makefile
	@$(QUIET) $(NATIVE)/build.log cmake --build $(NATIVE) -j$(JOBS) --target br927config soak
	$(NATIVE)/bench/soak $(BUILD)/soak $(NATIVE)/br927config $(SOAK_CLICKS)

.PHONY: bench
# The batches against loops of copies over the same files, natively and (in turn with them)
# the Windows click under Wine, on the plain disk and on a slow one; prints figures (see
# bench/RESULTS.md).
BENCH_REPETITIONS ?= 11
bench: $(NATIVE)/Makefile $(WIN64)/Makefile
	@$(QUIET) $(NATIVE)/build.log cmake --build $(NATIVE) -j$(JOBS) --target br927config copy-bench
	@$(QUIET) $(WIN64)/build.log cmake --build $(WIN64) -j$(JOBS) --target br927config copy-bench-wine
	@tools/wine-env.sh $(BUILD) sh -c '$(NATIVE)/bench/copy-bench $(BUILD)/bench $(NATIVE)/br927config $(BENCH_REPETITIONS) \
		"$$BR927_WINE" $(WIN64)/bench/copy-bench-wine.exe $(WIN64)/br927config.exe'
