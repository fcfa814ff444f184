# Entry points: `make demo`, `make test` (both install what they lack first),
# `make bench`, `make fuzz` (FUZZ_SECONDS per target, default 30).
# JOBS: parallel compile and test jobs. WINDOWS_FLAVOUR: the Windows tests that
# `make test` and `make demo` run, win32 or win64; found out when not given.
JOBS ?= $(shell nproc)
BUILD ?= build
FUZZ_SECONDS ?= 30
CTEST_ARGS ?=
# A whole test run is cut off after this long: a hang common to every test
# (a wedged Wine, say) must not outlast CI's time with each test's own limit.
TEST_MINUTES ?= 30

NATIVE := $(BUILD)/native
WIN32 := $(BUILD)/win32
WIN64 := $(BUILD)/win64
BENCH := $(BUILD)/bench
FUZZ := $(BUILD)/fuzz

.PHONY: all deps native win32 win64 test test-native test-win32 test-win64 demo bench fuzz clean

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

$(WIN64)/build.ninja: | $(DEPS_OK)
	cmake -S . -B $(WIN64) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw64.cmake

native: $(NATIVE)/build.ninja $(DEPS_OK)
	cmake --build $(NATIVE) -j $(JOBS)

win32: $(WIN32)/build.ninja $(DEPS_OK)
	cmake --build $(WIN32) -j $(JOBS)

# The 64-bit test flavour: the same tree as a 64-bit Windows program, so that
# the Windows code is tested where 32-bit programs cannot run.
win64: $(WIN64)/build.ninja $(DEPS_OK)
	cmake --build $(WIN64) -j $(JOBS)

test-native: native
	@echo "=== native tests (ASan + UBSan) ==="
	cd $(NATIVE) && timeout $(TEST_MINUTES)m ctest -j $(JOBS) --output-on-failure $(CTEST_ARGS)

test-win32: win32
	@echo "=== win32 tests (under 32-bit Wine) ==="
	cd $(WIN32) && timeout $(TEST_MINUTES)m xvfb-run -a -s "-screen 0 1280x1024x24" ctest -j $(JOBS) --output-on-failure $(CTEST_ARGS)

test-win64: win64
	@echo "=== win64 tests (under 64-bit Wine) ==="
	cd $(WIN64) && timeout $(TEST_MINUTES)m xvfb-run -a -s "-screen 0 1280x1024x24" ctest -j $(JOBS) --output-on-failure $(CTEST_ARGS)

# The Windows flavour this machine can test, asked once per make run (only by
# the rules that use it).
WINDOWS_FLAVOUR ?= $(shell scripts/windows-flavour.sh)

# Builds the product (win32) always; tests natively and the Windows flavour
# that runs here. Both runs happen even when the first fails; the result
# fails if either did.
test: native win32
	@flavour=$(WINDOWS_FLAVOUR); \
	if [ "$$flavour" = win64 ]; then \
	  echo "make test: this machine cannot run 32-bit programs; the Windows tests run as the win64 flavour"; \
	else \
	  echo "make test: the Windows tests run as the win32 flavour"; \
	fi; \
	rc=0; \
	$(MAKE) --no-print-directory test-native || rc=1; \
	$(MAKE) --no-print-directory test-$$flavour || rc=1; \
	if [ $$rc -eq 0 ]; then echo "make test: native and $$flavour passed"; else echo "make test: FAILED"; fi; \
	exit $$rc

demo: native win32
	@flavour=$(WINDOWS_FLAVOUR); \
	if [ "$$flavour" != win32 ]; then $(MAKE) --no-print-directory $$flavour || exit 1; fi; \
	scripts/demo.sh $(BUILD) $$flavour

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
