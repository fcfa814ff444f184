# Entry points: `make demo`, `make test` (both install what they lack first),
# `make bench`, `make fuzz` (FUZZ_SECONDS per target, default 30).
JOBS ?= $(shell nproc)
BUILD ?= build
FUZZ_SECONDS ?= 30
CTEST_ARGS ?=
# A whole test run is cut off after this long: a hang common to every test
# (a wedged Wine, say) must not outlast CI's time with each test's own limit.
TEST_MINUTES ?= 30

NATIVE := $(BUILD)/native
WIN32 := $(BUILD)/win32
BENCH := $(BUILD)/bench
FUZZ := $(BUILD)/fuzz

.PHONY: all deps native win32 test test-native test-win32 demo bench fuzz clean

all: native win32

deps:
	@scripts/deps.sh

# The package check runs on the first build and again whenever the list in
# scripts/deps.sh changes (a merge that adds a package), not on every build.
DEPS_OK := $(BUILD)/.deps-ok
$(DEPS_OK): scripts/deps.sh
	@scripts/deps.sh
	@mkdir -p $(BUILD) && touch $@

$(NATIVE)/build.ninja: | $(DEPS_OK)
	cmake -S . -B $(NATIVE) -G Ninja -DTW_FLAVOUR=native

$(WIN32)/build.ninja: | $(DEPS_OK)
	cmake -S . -B $(WIN32) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw32.cmake

native: $(NATIVE)/build.ninja $(DEPS_OK)
	cmake --build $(NATIVE) -j $(JOBS)

win32: $(WIN32)/build.ninja $(DEPS_OK)
	cmake --build $(WIN32) -j $(JOBS)

test-native: native
	@echo "=== native tests (ASan + UBSan) ==="
	cd $(NATIVE) && timeout $(TEST_MINUTES)m ctest -j $(JOBS) --output-on-failure $(CTEST_ARGS)

test-win32: win32
	@echo "=== win32 tests (under Wine) ==="
	cd $(WIN32) && timeout $(TEST_MINUTES)m xvfb-run -a -s "-screen 0 1280x1024x24" ctest -j $(JOBS) --output-on-failure $(CTEST_ARGS)

# Both runs happen even when the first fails; the result fails if either did.
test: native win32
	@rc=0; \
	$(MAKE) --no-print-directory test-native || rc=1; \
	$(MAKE) --no-print-directory test-win32 || rc=1; \
	if [ $$rc -eq 0 ]; then echo "make test: native and win32 passed"; else echo "make test: FAILED"; fi; \
	exit $$rc

demo: native win32
	@scripts/demo.sh $(BUILD)

$(BENCH)/build.ninja: | $(DEPS_OK)
	cmake -S . -B $(BENCH) -G Ninja -DTW_FLAVOUR=bench

bench: $(BENCH)/build.ninja $(DEPS_OK)
	cmake --build $(BENCH) -j $(JOBS)
	@for b in $(BENCH)/bench_*; do [ -x "$$b" ] || continue; echo "=== $$b"; "$$b" || exit 1; done

$(FUZZ)/build.ninja: | $(DEPS_OK)
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ) -G Ninja -DTW_FLAVOUR=fuzz

fuzz: $(FUZZ)/build.ninja $(DEPS_OK)
	cmake --build $(FUZZ) -j $(JOBS)
	@scripts/fuzz.sh $(FUZZ) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD)
