# The two commands of the README: `make run` and `make test`. Both install what is missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 30
CTEST_FLAGS ?= --output-on-failure -j $(JOBS) --timeout 600

.PHONY: all deps build run test test-main test-asan test-tsan fuzz bench format clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DKTV_WERROR=ON

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# Opens the player on the built-in demo clip (generated, 10 s, 640x360, 25 fps, stereo 44.1 kHz). Without a
# display it makes the player's screenshots on a virtual X server instead, into $(BUILD)/screenshots/.
run: build
	@scripts/run-demo $(BUILD)

test: deps test-main test-asan test-tsan fuzz
	@echo "make test: all passed"

test-main: build
	cd $(BUILD) && ctest $(CTEST_FLAGS)

# The core libraries and their tests again, with AddressSanitizer and UBSan; any report fails. The 50 and 60
# pictures-a-second suite stays out: it counts pictures shown on time, which the sanitizer's slowdown distorts
# (the normal build runs it, and the other play tests run the same code here).
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DKTV_WERROR=ON -DKTV_SANITIZE=ON -DKTV_WITH_QT=OFF -DKTV_BENCH=OFF \
	  -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest $(CTEST_FLAGS) -E 'HighFrameRate'

# The threaded tests again, with ThreadSanitizer; any report fails. Only their programs are built. The
# real-time playback suites stay out: they measure timing, which the sanitizer's slowdown distorts, and the
# other play tests run the same threads.
TSAN_LABELS = ^(platform|net|stream|playback|vis|control|cli)$$
TSAN_TARGETS = $(foreach label,platform net stream playback vis control cli,ktv_tests_$(label))
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DKTV_WERROR=ON -DKTV_SANITIZE_THREAD=ON -DKTV_WITH_QT=OFF -DKTV_BENCH=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TARGETS)
	cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest $(CTEST_FLAGS) -L '$(TSAN_LABELS)' -E 'HighFrameRate|LiveStream'

# Each fuzz target runs for FUZZ_SECONDS; a crash or sanitizer report fails the run.
fuzz: build
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DKTV_FUZZ=ON -DKTV_WITH_QT=OFF -DKTV_TESTS=OFF \
	  -DKTV_BENCH=OFF -DKTV_TOOLS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS) $(BUILD)

bench: build
	@scripts/run-benchmarks $(BUILD)

format:
	find src tests tools bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
