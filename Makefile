# Two commands for a new user on Debian 12:
#   make run   install what is missing, build in Release, start the player
#   make test  install what is missing, build, run every test (headless)

JOBS      ?= $(shell nproc)
# Tests run two per core: most of them wait on real-time playback and leave
# the processor half idle at one per core.
TEST_JOBS ?= $(shell echo $$(( $$(nproc) * 2 )))
BUILD     ?= build
BUILD_REL ?= build-release
BUILD_SAN ?= build-asan
BUILD_TSAN ?= build-tsan
BUILD_FUZZ ?= build-fuzz
# Seconds per fuzz target: bounded in `make test`, longer in `make fuzz`.
FUZZ_SECONDS ?= 6
FUZZ_LONG_SECONDS ?= 600
FUZZ_TARGETS := fuzz_config_reader fuzz_number_conversion fuzz_unwrap fuzz_video_open \
  fuzz_view_path fuzz_typed_numbers fuzz_ring_detect fuzz_spherical_inject
CMAKE_GEN := -G Ninja

.PHONY: deps run test build release test-main test-asan test-tsan bench clean \
  fuzz-build test-fuzz fuzz soak

deps:
	@bash scripts/install-deps.sh

# Line tables only (-g1): enough for a failing test's backtrace, and a third
# less compile time than full debug information. -O1 compiles a fifth faster
# than -O2; speed is measured in build-release (make bench), not here, so the
# benchmarks are left out of this build too.
$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHV_BUILD_BENCH=OFF \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG"

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

release: deps
	cmake -S . -B $(BUILD_REL) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	  -DHV_BUILD_TESTS=ON -DHV_BUILD_BENCH=ON
	cmake --build $(BUILD_REL) -j $(JOBS)

# Only what it runs: the three programs and the demo video, no tests or
# benchmarks (a few minutes on a fresh clone instead of the whole tree).
run: deps
	cmake -S . -B $(BUILD_REL) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	  -DHV_BUILD_TESTS=OFF -DHV_BUILD_BENCH=OFF
	cmake --build $(BUILD_REL) -j $(JOBS) --target hvplayer hvconfig hvtool hvplayer_demo_video
	@bash scripts/run-main.sh $(BUILD_REL)

test-main: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(TEST_JOBS) --timeout 600

# Sanitizer reports need file and line, not variables: line tables only.
SAN_DEBUG_FLAGS := -DCMAKE_CXX_FLAGS_DEBUG="-g1" -DCMAKE_C_FLAGS_DEBUG="-g1"

# The engine and video tests again under AddressSanitizer + UBSan.
test-asan: deps
	cmake -S . -B $(BUILD_SAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DHV_SANITIZE=ON \
	  -DHV_BUILD_GUI=OFF -DHV_BUILD_BENCH=OFF $(SAN_DEBUG_FLAGS)
	cmake --build $(BUILD_SAN) -j $(JOBS)
	cd $(BUILD_SAN) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(TEST_JOBS) --timeout 900 -L sanitize

# The threaded tests under ThreadSanitizer. GLib's slice allocator hands
# freed memory between threads through locks TSan cannot see: plain malloc.
test-tsan: deps
	cmake -S . -B $(BUILD_TSAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DHV_TSAN=ON \
	  -DHV_BUILD_BENCH=OFF $(SAN_DEBUG_FLAGS)
	cmake --build $(BUILD_TSAN) -j $(JOBS) --target hv_threads_tests
	cd $(BUILD_TSAN) && G_SLICE=always-malloc TSAN_OPTIONS="halt_on_error=1 detect_deadlocks=0 ignore_noninstrumented_modules=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(TEST_JOBS) --timeout 900 -L threads

# The libFuzzer targets (clang, ASan + UBSan, GUI off) in their own build.
fuzz-build: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_FUZZ) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DHV_SANITIZE=ON -DHV_BUILD_GUI=OFF -DHV_BUILD_BENCH=OFF \
	  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
	cmake --build $(BUILD_FUZZ) -j $(JOBS) --target $(FUZZ_TARGETS)

# Each fuzz target for FUZZ_SECONDS, starting from its seeds and kept inputs.
test-fuzz: fuzz-build
	@bash tests/fuzz/run-fuzzers.sh $(BUILD_FUZZ) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

fuzz: fuzz-build
	@bash tests/fuzz/run-fuzzers.sh $(BUILD_FUZZ) $(FUZZ_LONG_SECONDS) $(FUZZ_TARGETS)

# The soak tests at full size (300 open/play/stop cycles, 50 restarts,
# 10 s of rapid input).
soak: build
	cd $(BUILD) && HV_SOAK_FULL=1 QT_QPA_PLATFORM=offscreen ctest --output-on-failure \
	  -R 'Soak|UnderLoad' --timeout 3600

test: test-main test-asan test-tsan test-fuzz

bench: release
	@for b in $(BUILD_REL)/bin/bench_*; do echo "== $$b"; $$b --benchmark_repetitions=5 --benchmark_report_aggregates_only=true; done

clean:
	rm -rf $(BUILD) $(BUILD_REL) $(BUILD_SAN) $(BUILD_TSAN) $(BUILD_FUZZ)
