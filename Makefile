# Marquetor: thin wrapper over CMake + Ninja.
#   make run    install what is missing, build the editor, open it on the example tile set
#   make test   install what is missing, build, run every test (plus the sanitizer build)
#   make bench  Release build and the benchmark table
#   make fuzz   run every fuzz target for a while (FUZZ_SECONDS each)
#   make package  the Debian packages (marquetor, libmarquetor-tileset*, libmarquetor-dev)

BUILD       ?= build
ASAN_BUILD  ?= build-asan
FUZZ_BUILD  ?= build-fuzz
BENCH_BUILD ?= build-bench
JOBS        ?= $(shell nproc)
FUZZ_SECONDS ?= 300
SMOKE_SECONDS ?= 15

EXAMPLE_DIR := examples/demo-game/Tools/Marquetor
EXAMPLE_FILE := ../../Data/TileSets/demo.mrqt

.PHONY: all deps build test test-unit test-asan asan-compiler run bench fuzz fuzz-smoke package clean

all: build

deps:
	@scripts/install-deps.sh

# Debug information as line tables (-g1): backtraces and sanitizer reports keep their file
# and line, and the build takes about a third less time than with full -g.
LINE_TABLES := -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LINE_TABLES)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test-unit: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The sanitizer build is compiled by clang: with the sanitizers' checks compiled in, it takes
# half the time g++ takes for the same files. A sanitizer build made earlier by g++ is made
# again.
$(ASAN_BUILD)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_C_FLAGS_DEBUG=-g1 -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DMARQUETOR_SANITIZE=ON -DMARQUETOR_GUI=OFF

asan-compiler:
	@if [ -f $(ASAN_BUILD)/CMakeCache.txt ] && \
	    ! grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++' $(ASAN_BUILD)/CMakeCache.txt; then \
	  echo "Making the sanitizer build again with clang"; rm -rf $(ASAN_BUILD); fi

# The GUI-free suites again under AddressSanitizer + UndefinedBehaviorSanitizer.
test-asan: deps asan-compiler
	$(MAKE) --no-print-directory $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

test: test-unit test-asan

# Only the editor and what it links: the tests and tools wait for `make test`.
run: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target marquetor
	cd $(EXAMPLE_DIR) && $(CURDIR)/$(BUILD)/src/app/marquetor $(EXAMPLE_FILE)

# The .deb files, written into $(BUILD)/ (CPack; see packaging/CMakeLists.txt).
package: build
	cd $(BUILD) && cpack -G DEB

$(FUZZ_BUILD)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LINE_TABLES) \
	  -DMARQUETOR_FUZZ=ON -DMARQUETOR_GUI=OFF -DMARQUETOR_TESTS=OFF

fuzz-build: deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz: fuzz-build
	FUZZ_SECONDS=$(FUZZ_SECONDS) fuzz/run-all.sh $(FUZZ_BUILD)

fuzz-smoke: fuzz-build
	FUZZ_SECONDS=$(SMOKE_SECONDS) fuzz/run-all.sh $(FUZZ_BUILD)

bench:
	@scripts/install-deps.sh bench
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DMARQUETOR_BENCH=ON -DMARQUETOR_TESTS=OFF
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	bench/run.sh $(BENCH_BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD)
