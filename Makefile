# Front door: `make test` and `make demo` set up everything they need on a Debian machine.
# They print what was asked for; the build's own output shows only when a step fails, or
# always with V=1.

BUILD  := build
NATIVE := $(BUILD)/native
ASAN   := $(BUILD)/asan
WIN32  := $(BUILD)/win32
JOBS   := $(shell nproc 2>/dev/null || echo 2)
V      ?= 0
export V
# WERROR=1 (as CI builds) makes every compiler warning an error, WERROR=0 no longer; without
# WERROR a build folder keeps what it was configured with (a new one: warnings only).
ifeq ($(origin WERROR),undefined)
CMAKE  := cmake
else
WERROR_SETTING := $(if $(filter 1,$(WERROR)),ON,OFF)
CMAKE  := cmake -DBR927_WERROR=$(WERROR_SETTING)
endif

MAKEFLAGS += --no-print-directory
QUIET := tools/quiet.sh

.PHONY: all deps deps-windows deps-all native asan win32 windows wine-prefix test test-native test-windows \
	demo dist repro clean

all: native

deps:
	@tools/install-deps.sh native

deps-windows:
	@tools/install-deps.sh windows

deps-all:
	@tools/install-deps.sh native windows fuzz

# A build folder is configured once, and again when WERROR asks for another setting than its
# stamp names. Later builds re-run CMake themselves when its inputs change.
ifeq ($(origin WERROR),undefined)
configured = $(1)/Makefile
else
configured = $(1)/configured-werror-$(WERROR_SETTING)
endif
configure = rm -f $(1)/configured-werror-* && $(QUIET) $(1)/configure.log $(CMAKE) -S . -B $(1) $(2) && \
	touch $(call configured,$(1))

$(call configured,$(NATIVE)): | deps
	@$(call configure,$(NATIVE),-DCMAKE_BUILD_TYPE=RelWithDebInfo)

$(call configured,$(ASAN)): | deps
	@$(call configure,$(ASAN),-DCMAKE_BUILD_TYPE=Debug -DBR927_SANITIZE=ON)

# The Windows programs: the release (i686, static), the programs in the zip, with the core's
# tests and the program's end-to-end tests, which run them under Wine's WoW64.
$(call configured,$(WIN32)): | deps-windows
	@$(call configure,$(WIN32),-DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON)

native: $(call configured,$(NATIVE))
	@$(QUIET) $(NATIVE)/build.log cmake --build $(NATIVE) -j$(JOBS)

asan: $(call configured,$(ASAN))
	@$(QUIET) $(ASAN)/build.log cmake --build $(ASAN) -j$(JOBS)

win32: $(call configured,$(WIN32))
	@$(QUIET) $(WIN32)/build.log cmake --build $(WIN32) -j$(JOBS)

windows: win32

# The Wine prefix the Windows tests run in (made once, kept in the build folder).
wine-prefix: | deps-windows
	@tools/wine-env.sh $(BUILD) true

# Test runs print the failing tests with their output, and a summary (every test with V=1); a
# build folder that holds no tests (one configured without them) fails rather than passes.
TESTS := tools/run-tests.sh --output-on-failure --no-tests=error -j$(JOBS)

# Each test runs once; tools/wine-test.sh runs a test process once more only when Wine ended
# it at its start, before it wrote anything.
test-windows: windows wine-prefix
	@tools/wine-env.sh $(BUILD) $(TESTS) --test-dir $(WIN32) --timeout 300

# The native suites run once, in the build with AddressSanitizer and UBSan. Their temporary
# trees go to a RAM-backed folder where there is one: a test sees a click's flushes in the
# calls it makes (durabilityTest), so waiting for a disk to write them would only cost time.
TEST_TMPDIR := $(firstword $(wildcard /dev/shm) $(or $(TMPDIR),/tmp))
test-native: asan
	@TMPDIR=$(TEST_TMPDIR) ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 $(TESTS) --test-dir $(ASAN)

# Every suite. The native and the Windows parts run side by side, each after its own builds,
# so that one keeps the cores busy while the other links, waits for Wine or for a test: all
# their steps may run at once (three builds and the Wine prefix, then three test runs), as each
# build and test run takes the machine's $(JOBS) jobs itself. Each part's output is printed
# whole when it ends, and every part runs even when another fails.
test: deps-all
	@$(MAKE) -k -j --output-sync=target test-windows test-native fuzz-short

# Only what the demo runs: the console and the tree builder, the release's window program and
# the driver that plays it on a virtual display.
demo: $(call configured,$(NATIVE)) $(call configured,$(WIN32))
	@$(QUIET) $(NATIVE)/build.log cmake --build $(NATIVE) -j$(JOBS) --target br927config demo-tree
	@$(QUIET) $(WIN32)/build.log cmake --build $(WIN32) -j$(JOBS) --target ZEK_BR927_config demoDriver
	@tools/demo.sh $(NATIVE)
	@tools/demo-windows.sh $(WIN32)

# The release package: build/dist/ZEK_BR927_config-<version>.zip (version in VERSION).
dist: $(call configured,$(WIN32))
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

$(call configured,$(FUZZ)):
	@tools/install-deps.sh native fuzz
	@$(call configure,$(FUZZ),-DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug -DBR927_FUZZ=ON -DBUILD_TESTING=OFF)

fuzz-build: $(call configured,$(FUZZ))
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
soak: $(call configured,$(NATIVE))
	@$(QUIET) $(NATIVE)/build.log cmake --build $(NATIVE) -j$(JOBS) --target br927config soak
	$(NATIVE)/bench/soak $(BUILD)/soak $(NATIVE)/br927config $(SOAK_CLICKS)

.PHONY: bench
# The batches against loops of copies over the same files, natively and (in turn with them)
# the Windows click under Wine, on the plain disk and on a slow one; prints figures (see
# bench/RESULTS.md).
BENCH_REPETITIONS ?= 11
bench: $(call configured,$(NATIVE)) $(call configured,$(WIN32))
	@$(QUIET) $(NATIVE)/build.log cmake --build $(NATIVE) -j$(JOBS) --target br927config copy-bench
	@$(QUIET) $(WIN32)/build.log cmake --build $(WIN32) -j$(JOBS) --target br927config copy-bench-wine
	@tools/wine-env.sh $(BUILD) sh -c '$(NATIVE)/bench/copy-bench $(BUILD)/bench $(NATIVE)/br927config $(BENCH_REPETITIONS) \
		"$$BR927_WINE" $(WIN32)/bench/copy-bench-wine.exe $(WIN32)/br927config.exe'
