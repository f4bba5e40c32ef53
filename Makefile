# Front door. `make` builds dist/menupatch.dll; `make test` runs every test.
# Each target first installs what this machine is missing.

WINDOWS_BUILD := build/windows
NATIVE_BUILD := build/native
JOBS ?= 2

.PHONY: all deps dll test clean

all: dll

deps:
	@bash scripts/install-deps.sh

dll: deps
	@cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS)
	@mkdir -p dist
	@cp $(WINDOWS_BUILD)/menupatch.dll dist/menupatch.dll
	@echo "dist/menupatch.dll: $$(stat -c %s dist/menupatch.dll) bytes"

test: dll
	@cmake -S . -B $(NATIVE_BUILD) -DMENUPATCH_WINDOWS_BUILD=$(CURDIR)/$(WINDOWS_BUILD) >/dev/null
	@cmake --build $(NATIVE_BUILD) -j $(JOBS)
	@cd $(NATIVE_BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf build dist
