# Thin wrapper over CMake: every target configures what it needs.
BUILD ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
FUZZ_BUILD ?= build-fuzz
FUZZ_TIME ?= 60
FUZZERS = $(patsubst fuzz/%_fuzz.cpp,%,$(wildcard fuzz/*_fuzz.cpp))
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local

# Installs the Debian packages a target needs when some are missing.
DEPS = ./scripts/install-deps

# The programs the demo runs.
DEMO_TARGETS = wbkpack wbkdeck wbkenc tonegen scenario_dump fakedsp
CONFIGURE = cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all build test test-plain test-asan demo bench fuzz install clean

all: build

# The tests are built too when GoogleTest is installed.
build:
	$(DEPS) build
	$(CONFIGURE)
	cmake --build $(BUILD) -j $(JOBS)

test: test-plain test-asan

test-plain:
	$(DEPS) build test
	$(CONFIGURE) -DWBK_TESTS=ON
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan:
	$(DEPS) build test
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DWBK_SANITIZE=ON -DWBK_TESTS=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

demo:
	$(DEPS) build
	$(CONFIGURE)
	cmake --build $(BUILD) -j $(JOBS) --target $(DEMO_TARGETS)
	./demo/demo.sh $(BUILD)

bench:
	$(DEPS) build bench
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DWBK_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target decode_bench encode_bench speech_wav stream_load fakedsp wbkdeck wbkpack wbkenc
	./bench/run.sh $(BENCH_BUILD)

# Runs each fuzzer for FUZZ_TIME seconds on a working copy of its seed corpus;
# findings go to $(FUZZ_BUILD)/artifacts.
fuzz:
	$(DEPS) build fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DWBK_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(FUZZERS:%=%_fuzz)
	mkdir -p $(FUZZ_BUILD)/artifacts
	for name in $(FUZZERS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$name && cp fuzz/corpus/$$name/* $(FUZZ_BUILD)/corpus/$$name/ && \
	  $(FUZZ_BUILD)/bin/$${name}_fuzz -max_total_time=$(FUZZ_TIME) \
	    -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$name- $(FUZZ_BUILD)/corpus/$$name || exit 1; \
	done

# Builds only what is installed; DESTDIR=/some/stage installs below a staging directory.
install:
	$(DEPS) build
	$(CONFIGURE) -DCMAKE_INSTALL_PREFIX=$(PREFIX)
	cmake --build $(BUILD) -j $(JOBS) --target installed
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD)
