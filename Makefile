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

test: test-native

demo: native
	@tools/demo.sh $(NATIVE)

clean:
	rm -rf $(BUILD)
