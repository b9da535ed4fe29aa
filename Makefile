# Entry points: `make demo` (the main job) and `make test`. Both install
# their prerequisites on a Debian machine first.
JOBS ?= 2
BUILD := build

.PHONY: all build native win32 test unit-test wine-test demo bench fuzz prereqs clean

all: build

prereqs:
	@scripts/prereqs.sh test

build: prereqs native win32

native:
	cmake -S . -B $(BUILD)/native -DCMAKE_BUILD_TYPE=Release -DBIN_DIR=$(CURDIR)/$(BUILD)/bin >/dev/null
	cmake --build $(BUILD)/native -j$(JOBS)

win32:
	cmake -S . -B $(BUILD)/win32 -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake \
	  -DCMAKE_BUILD_TYPE=MinSizeRel -DBIN_DIR=$(CURDIR)/$(BUILD)/bin >/dev/null
	cmake --build $(BUILD)/win32 -j$(JOBS)

test: build unit-test wine-test

unit-test:
	cd $(BUILD)/native && ctest --output-on-failure -j$(JOBS)

wine-test:
	tests/wine/run.sh

demo: build
	scripts/demo.sh

bench:
	@scripts/prereqs.sh bench
	$(MAKE) build
	bench/compare.sh

clean:
	rm -rf $(BUILD)
