# Front door: `make test` and `make demo` set up everything they need on a Debian machine.

BUILD  := build
NATIVE := $(BUILD)/native
ASAN   := $(BUILD)/asan
WIN32  := $(BUILD)/win32
WIN64  := $(BUILD)/win64
JOBS   := $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps deps-windows native asan windows test test-native test-windows demo clean

all: native

deps:
	@tools/install-deps.sh native

native: deps
	@cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(NATIVE) -j$(JOBS)

asan: deps
	@cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DBR927_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN) -j$(JOBS)

deps-windows:
	@tools/install-deps.sh windows

# The Windows program: the release (i686, static) and the x86_64 build that the tests run
# under Wine, with the core's tests and the program's end-to-end tests.
windows: deps-windows
	@cmake -S . -B $(WIN32) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
		-DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
	@cmake --build $(WIN32) -j$(JOBS)
	@cmake -S . -B $(WIN64) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake \
		-DCMAKE_BUILD_TYPE=Release -DBR927_RELEASE_EXE=$(abspath $(WIN32))/ZEK_BR927_config.exe >/dev/null
	@cmake --build $(WIN64) -j$(JOBS)

# A test that fails is run once more: Wine has been seen to end a test process at its start,
# before it printed a line; a real fault fails both times.
test-windows: windows
	tools/wine-env.sh $(BUILD) ctest --test-dir $(WIN64) --output-on-failure -j$(JOBS) --timeout 300 \
		--repeat until-pass:2

test-native: native asan
	ctest --test-dir $(NATIVE) --output-on-failure -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --test-dir $(ASAN) --output-on-failure -j$(JOBS)

test: test-native fuzz-short test-windows

demo: native windows
	@tools/demo.sh $(NATIVE)
	@tools/demo-windows.sh $(WIN64)

clean:
	rm -rf $(BUILD)

# ---- Proof under bad input, faults and load -------------------------------------------------
FUZZ         := $(BUILD)/fuzz
FUZZ_SECONDS ?= 300

.PHONY: fuzz-build fuzz fuzz-short

fuzz-build:
	@tools/install-deps.sh native fuzz
	@CXX=clang++ cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=Debug -DBR927_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
	@cmake --build $(FUZZ) -j$(JOBS) --target stateFileFuzzer

# The state-file readers and writer against their model, for FUZZ_SECONDS (300 unless given).
fuzz: fuzz-build
	@tests/fuzz/run.sh $(FUZZ)/tests/fuzz/stateFileFuzzer $(FUZZ_SECONDS) $(FUZZ)/run

# The short run that `make test` includes.
fuzz-short: fuzz-build
	@tests/fuzz/run.sh $(FUZZ)/tests/fuzz/stateFileFuzzer 60 $(FUZZ)/run

.PHONY: soak
# 10,000 alternating clicks on each button through the console (`make test` runs 150).
SOAK_CLICKS ?= 10000
soak: native
	$(NATIVE)/tests/soak/soakTests --clicks=$(SOAK_CLICKS)

.PHONY: bench
# The batches against a bare loop of in-kernel copies; prints figures (see bench/RESULTS.md).
BENCH_REPETITIONS ?= 11
bench: native
	$(NATIVE)/bench/copy-bench $(BUILD)/bench $(NATIVE)/br927config $(BENCH_REPETITIONS)
