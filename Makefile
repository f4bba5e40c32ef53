# Front door. `make` builds dist/menupatch.dll; `make demo` loads it into the
# substitute host under Wine and shows what changed; `make test` runs every test.
# Each target first installs what this machine is missing.

WINDOWS_BUILD := build/windows
NATIVE_BUILD := build/native
JOBS ?= 2
MAKEFLAGS += --no-print-directory
BUILD ?= A

.PHONY: all deps dll demo test clean

all: dll

deps:
	@bash scripts/install-deps.sh

dll: deps
	@cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS)
	@mkdir -p dist
	@cp $(WINDOWS_BUILD)/menupatch.dll dist/menupatch.dll
	@echo "dist/menupatch.dll: $$(stat -c %s dist/menupatch.dll) bytes"

demo: dll
	@scripts/wine-run.sh $(WINDOWS_BUILD)/substitute_host.exe --demo --build $(BUILD) --dll dist/menupatch.dll

test: dll
	@cmake -S . -B $(NATIVE_BUILD) -DMENUPATCH_WINDOWS_BUILD=$(CURDIR)/$(WINDOWS_BUILD) >/dev/null
	@cmake --build $(NATIVE_BUILD) -j $(JOBS)
	@cd $(NATIVE_BUILD) && ctest --output-on-failure -j $(JOBS)
	@grep -h "^seed \|^random hosts:" $(NATIVE_BUILD)/Testing/Temporary/LastTest.log || true

clean:
	rm -rf build dist
