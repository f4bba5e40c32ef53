# Front door. `make` builds dist/menupatch.dll, dist/menupatch-check.exe and, for Linux and the
# Steam Deck, dist/menupatch-check; `make demo` loads the DLL into the
# substitute host under Wine and shows what changed; `make test` runs every test.
# Each target first installs what this machine is missing.
# Wine runs natively where the kernel runs 32-bit programs, else under QEMU's
# user-mode emulation (scripts/wine-probe.sh says which and why); where neither
# can, `make demo` shows a dry run instead and `make test` skips the tests under
# Wine. MENUPATCH_WINE=auto (the default), native, emulated, off or required chooses.

WINDOWS_BUILD := build/windows
CLANG_BUILD := build/clang
NATIVE_BUILD := build/native
SANITIZE_BUILD := build/sanitize
JOBS ?= 2
# The tests under Wine wait on program starts and on Wine's server about as much
# as they compute: one job more than the cores keeps the cores busy.
TEST_JOBS ?= $(shell echo $$(( $$(nproc) + 1 )))
MAKEFLAGS += --no-print-directory
BUILD ?= A

.PHONY: all deps dll clang-dll demo check-demo bench test fuzz dist clean

all: dll

deps:
	@bash scripts/install-deps.sh

dll: deps
	@cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS)
	@mkdir -p dist
	@cp $(WINDOWS_BUILD)/menupatch.dll $(WINDOWS_BUILD)/menupatch-check.exe dist/
	@cmake -S . -B $(NATIVE_BUILD) >/dev/null
	@cmake --build $(NATIVE_BUILD) -j $(JOBS) --target menupatch-check-linux
	@cp $(NATIVE_BUILD)/menupatch-check dist/
	@echo "dist/menupatch.dll: $$(stat -c %s dist/menupatch.dll) bytes"
	@echo "dist/menupatch-check.exe: $$(stat -c %s dist/menupatch-check.exe) bytes"
	@echo "dist/menupatch-check (Linux x86-64): $$(stat -c %s dist/menupatch-check) bytes"

demo: dll
	@cmake --build $(NATIVE_BUILD) -j $(JOBS) --target write_game
	@bash scripts/demo.sh $(WINDOWS_BUILD) $(NATIVE_BUILD) $(BUILD)

# menupatch-check on the substitute host's game: an executable of build A, one of
# no build, and build A running with the plug-in.
check-demo: dll
	@bash scripts/wine-probe.sh --need "make check-demo" "its running game is the substitute host under Wine"
	@bash scripts/check-demo.sh $(WINDOWS_BUILD)

# How long menupatch-check for Linux takes on the heaviest executable for its
# reader and on a launcher among 1,000 executables, and with nothing named among
# hundreds of processes; the entropy of code against packed and encrypted bytes,
# and the measure of code over several compilers' code and hidden code; then, under Wine, what a Wine program's start costs on each route this
# machine has (native, emulated), what loading the plug-in costs against the floor
# of its system calls (CYCLES=N to change), and how long menupatch-check.exe takes
# on a large executable.
CYCLES ?= 1000
bench: dll
	@cmake --build $(NATIVE_BUILD) -j $(JOBS) --target write_game entropy_survey code_survey
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target attach_bench empty_with_imports empty_plugin_startup
	@bash scripts/bench.sh $(WINDOWS_BUILD) $(NATIVE_BUILD) $(CYCLES)

# The DLL's sources with clang and lld, so that no construct only one compiler takes creeps in;
# the end-to-end tests run both DLLs. (The checker's sources get clang in the sanitizer build.)
clang-dll: deps
	@cmake -S . -B $(CLANG_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32-clang.cmake >/dev/null
	@cmake --build $(CLANG_BUILD) -j $(JOBS) --target menupatch

# Says first whether the tests under Wine will run here; closes with the counts.
test: deps
	@bash scripts/wine-probe.sh --announce
	@$(MAKE) dll clang-dll
	@cmake -S . -B $(NATIVE_BUILD) -DMENUPATCH_WINDOWS_BUILD=$(CURDIR)/$(WINDOWS_BUILD) \
	    -DMENUPATCH_CLANG_BUILD=$(CURDIR)/$(CLANG_BUILD) >/dev/null
	@cmake --build $(NATIVE_BUILD) -j $(JOBS)
	@cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DMENUPATCH_SANITIZE=ON >/dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	@bash scripts/run-tests.sh $(TEST_JOBS) $(SANITIZE_BUILD) $(NATIVE_BUILD)

# The executable reader, then the shortcut reader, under libFuzzer for FUZZ_SECONDS
# each; new inputs they find go to build/, the checked-in seeds stay as they are.
FUZZ_SECONDS ?= 60
fuzz: deps
	@cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DMENUPATCH_SANITIZE=ON >/dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS) --target pe_image_fuzz shortcut_fuzz
	@mkdir -p build/fuzz-corpus build/fuzz-shortcut-corpus
	@$(SANITIZE_BUILD)/tests/pe_image_fuzz -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    build/fuzz-corpus tests/fuzz/corpus 2>&1 | grep -E "INITED|DONE|^stat::|ERROR|SUMMARY|crash-|leak-|timeout-" || true
	@$(SANITIZE_BUILD)/tests/shortcut_fuzz -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    build/fuzz-shortcut-corpus tests/fuzz/shortcut-corpus 2>&1 | grep -E "INITED|DONE|^stat::|ERROR|SUMMARY|crash-|leak-|timeout-" || true

dist: dll
	@bash scripts/package.sh dist/menupatch.dll dist/menupatch-check.exe $$(cat $(WINDOWS_BUILD)/version.txt)
	@bash scripts/package-linux.sh dist/menupatch-check $$(cat $(WINDOWS_BUILD)/version.txt)

clean:
	rm -rf build dist
