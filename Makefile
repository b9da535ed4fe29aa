# Entry points: `make demo` (the main job) and `make test`. Both install
# their prerequisites on a Debian machine first.
JOBS ?= 2
BUILD := build

.PHONY: all build native win32 win64 test unit-test wine-test fuzz-build fuzz-short demo bench prereqs clean

all: build

prereqs:
	@scripts/prereqs.sh test

build: prereqs native win32 win64

native:
	cmake -S . -B $(BUILD)/native -DCMAKE_BUILD_TYPE=Release -DBIN_DIR=$(CURDIR)/$(BUILD)/bin >/dev/null
	cmake --build $(BUILD)/native -j$(JOBS)

win32:
	cmake -S . -B $(BUILD)/win32 -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake \
	  -DCMAKE_BUILD_TYPE=MinSizeRel -DBIN_DIR=$(CURDIR)/$(BUILD)/bin >/dev/null
	cmake --build $(BUILD)/win32 -j$(JOBS)

# The x86_64 build of the stub's sources and the Win32 test programs: what
# the Wine suite runs on machines that cannot run 32-bit programs.
win64:
	cmake -S . -B $(BUILD)/win64 -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=MinSizeRel -DBIN_DIR=$(CURDIR)/$(BUILD)/bin >/dev/null
	cmake --build $(BUILD)/win64 -j$(JOBS)

test: build unit-test wine-test fuzz-short

unit-test:
	cd $(BUILD)/native && ctest --output-on-failure -j$(JOBS)

wine-test:
	tests/wine/run.sh

demo: build
	scripts/demo.sh

# libFuzzer needs clang: a build of its own.
fuzz-build:
	@scripts/prereqs.sh fuzz
	cmake -S . -B $(BUILD)/fuzz -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DBIN_DIR=$(CURDIR)/$(BUILD)/fuzz/bin >/dev/null
	cmake --build $(BUILD)/fuzz -j$(JOBS) --target fuzz_decoder fuzz_entry fuzz_reader fuzz_lzma

fuzz-short: fuzz-build
	fuzz/run-short.sh $(CURDIR)/$(BUILD)/fuzz/bin $(CURDIR)/$(BUILD)/bin/mksetup

# Codec benchmarks, then the peers' comparison (docs/BENCHMARKS.md);
# BENCH_RUNS alternating runs per figure, INSTALL=1 adds the Wine figure.
# BENCH_WINE=1 adds the installations under Wine, which take minutes:
# bench/any-size.sh (500 to 5,000 files) and bench/nsis-compare.sh (against
# NSIS), the best of BENCH_WINE_RUNS runs each.
BENCH_RUNS ?= 5
BENCH_WINE ?= 0
BENCH_WINE_RUNS ?= 3
bench:
	@scripts/prereqs.sh bench
	$(MAKE) build
	BIN_DIR=$(CURDIR)/$(BUILD)/bin bash bench/compare.sh $(BUILD)/bench $(BENCH_RUNS)
	BIN_DIR=$(CURDIR)/$(BUILD)/bin bash bench/seal-bench.sh $(BUILD)/bench/seal $(BENCH_RUNS)
	BIN_DIR=$(CURDIR)/$(BUILD)/bin bash bench/lzma-compare.sh $(BUILD)/bench $(BENCH_RUNS)
	BENCH_CORPUS=$(CURDIR)/$(BUILD)/bench/corpus $(BUILD)/bin/bench_codec --benchmark_min_time=0.3
	@if [ "$(BENCH_WINE)" = 1 ]; then \
	  set -e; \
	  BIN_DIR=$(CURDIR)/$(BUILD)/bin bash bench/any-size.sh $(BUILD)/bench/any-size $(BENCH_WINE_RUNS); \
	  BIN_DIR=$(CURDIR)/$(BUILD)/bin bash bench/nsis-compare.sh $(BUILD)/bench/nsis $(BENCH_WINE_RUNS); \
	fi

clean:
	rm -rf $(BUILD)
