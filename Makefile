# Front door: `make test` and `make demo` set up everything they need on a Debian machine.

BUILD  := build
NATIVE := $(BUILD)/native
ASAN   := $(BUILD)/asan
JOBS   := $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps native asan test test-native demo clean

all: native

deps:
	@tools/install-deps.sh native

native: deps
	@cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(NATIVE) -j$(JOBS)

asan: deps
	@cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DBR927_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN) -j$(JOBS)

test-native: native asan
	ctest --test-dir $(NATIVE) --output-on-failure -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --test-dir $(ASAN) --output-on-failure -j$(JOBS)

test: test-native fuzz-short

demo: native
	@tools/demo.sh $(NATIVE)

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
