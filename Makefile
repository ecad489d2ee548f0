# SPDX-License-Identifier: MIT
# Front door: every target installs what is missing, configures and builds first.
BUILD      ?= build
GENERATOR  ?= Ninja
BUILD_TYPE ?= RelWithDebInfo
JOBS       ?= $(shell nproc)
# Package groups of scripts/install-deps.sh; each target below asks only for what it needs.
DEPS_GROUPS ?= run test clang
CMAKE_ARGS ?=
CTEST_ARGS ?=

.PHONY: all deps configure build run test bench asan tsan fuzz install package format format-check clean

all: build

deps:
	@scripts/install-deps.sh $(DEPS_GROUPS)

configure: deps
	@cmake -S . -B $(BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Running needs the run group only, and builds the program alone.
run: DEPS_GROUPS = run
run: configure
	@cmake --build $(BUILD) -j $(JOBS) --target tallyvox
	@scripts/run.sh $(BUILD)/tallyvox

test bench package: DEPS_GROUPS = run test
test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 300 $(CTEST_ARGS)

bench: build
	@scripts/bench.sh $(BUILD)

# The test suite built with AddressSanitizer + UndefinedBehaviorSanitizer, and with ThreadSanitizer.
asan:
	@$(MAKE) --no-print-directory test BUILD=build-asan DEPS_GROUPS="run test clang" BUILD_TYPE=Debug \
	    CMAKE_ARGS="-DTALLYVOX_SANITIZE='address;undefined' -DTALLYVOX_BUILD_BENCH=OFF"

# ThreadSanitizer sees only instrumented code: Qt's own worker threads (font and image loading
# of the widget tests) would report races inside Qt, so it runs the programs of our threaded
# code: background calls, the single-instance channel, storage and settings.
# The D-Bus idle test is left out for the same reason: Qt D-Bus talks on a thread of its own.
TSAN_TESTS = common_tests|core_tests|storage_tests|platform_tests|update_tests
TSAN_SKIP  = DBusLastInputTest
tsan:
	@$(MAKE) --no-print-directory test BUILD=build-tsan DEPS_GROUPS="run test clang" BUILD_TYPE=Debug \
	    CMAKE_ARGS="-DTALLYVOX_SANITIZE=thread -DTALLYVOX_BUILD_BENCH=OFF" \
	    CTEST_ARGS="-L '$(TSAN_TESTS)' -E '$(TSAN_SKIP)'"

fuzz: DEPS_GROUPS = run clang
fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DTALLYVOX_BUILD_FUZZ=ON -DTALLYVOX_BUILD_TESTS=OFF -DTALLYVOX_BUILD_BENCH=OFF -DTALLYVOX_WERROR=OFF >/dev/null
	@cmake --build build-fuzz -j $(JOBS)
	@FUZZ_RUNS=$(FUZZ_RUNS) scripts/fuzz.sh build-fuzz $(FUZZ_SECONDS)

install: build
	@cmake --install $(BUILD) $(if $(PREFIX),--prefix $(PREFIX))

# The package's program is built beside the source build's, without the update check.
package: build
	@cd $(BUILD) && cpack -G DEB

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	@rm -rf build build-asan build-tsan build-fuzz
