# Keyloom: `make run` builds keyloom.exe and starts it under Wine;
# `make test` builds everything and runs every test.

KEYLOOM_HOME ?= $(HOME)/.local/share/keyloom
NATIVE   := build/native
SANITIZE := build/sanitize
WIN      := build/win
DIST     := build/dist
WERROR   ?= OFF
JOBS     ?= $(shell nproc)

.PHONY: deps install run test native sanitize win-configure win dist bench bench-wine clean

deps:
	@tools/install-deps

native: deps
	@cmake -S . -B $(NATIVE) -DKEYLOOM_WERROR=$(WERROR) >/dev/null
	@cmake --build $(NATIVE) -j $(JOBS)

sanitize: deps
	@CC=clang CXX=clang++ cmake -S . -B $(SANITIZE) -DKEYLOOM_SANITIZE=ON \
	    -DKEYLOOM_WERROR=$(WERROR) >/dev/null
	@cmake --build $(SANITIZE) -j $(JOBS)

win-configure: deps
	@cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	    -DKEYLOOM_WERROR=$(WERROR) >/dev/null

win: win-configure
	@cmake --build $(WIN) -j $(JOBS)

# keyloom.exe keeps its files beside itself, so it runs from a folder of its
# own outside build/: cleaning a build never touches anyone's passwords. The
# folder is private (0700), since PASSWORD.TXT is plain text.
install: win-configure
	@cmake --build $(WIN) --target keyloom keyloom_help -j $(JOBS)
	@tools/install-keyloom "$(KEYLOOM_HOME)" $(WIN)/keyloom.exe $(WIN)/KEYLOOM.HTM

run: install
	@if [ -z "$${DISPLAY:-}" ]; then echo "make run: no display (DISPLAY is not set)" >&2; exit 1; fi
	@KEYLOOM_WINE_DIR="$${KEYLOOM_WINE_DIR:-$(HOME)/.cache/keyloom-wine}" \
	    tools/wine-env run "$(KEYLOOM_HOME)/keyloom.exe"

# dist/keyloom-VERSION-win64.zip and dist/SHA256SUMS, the same bytes from
# every clone of one commit (README.md says how to check).
dist: deps
	@cmake -S . -B $(DIST) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	    -DCMAKE_BUILD_TYPE=Release -DKEYLOOM_DIST=ON -DKEYLOOM_WERROR=$(WERROR) >/dev/null
	@cmake --build $(DIST) --target dist -j $(JOBS)

test: native sanitize win
	ctest --test-dir $(NATIVE) --output-on-failure -j $(JOBS)
	ctest --test-dir $(SANITIZE) --output-on-failure -j $(JOBS)
	ctest --test-dir $(WIN) --output-on-failure

bench: native
	@for b in $(NATIVE)/bench/*_bench; do [ -x "$$b" ] && "$$b"; done

# The real keyloom.exe under Wine, with a prefix and display of its own.
bench-wine: win
	@export KEYLOOM_WINE_DIR=$(CURDIR)/$(WIN)/bench-wine; \
	tools/wine-env setup && tools/wine-env run $(WIN)/bench/window_bench.exe && \
	    tools/wine-env run $(WIN)/bench/paste_bench.exe && \
	    tools/wine-env run $(WIN)/bench/derive_bench.exe && \
	    tools/wine-env run $(WIN)/bench/find_bench.exe; \
	status=$$?; tools/wine-env cleanup; exit $$status

clean:
	rm -rf $(NATIVE) $(SANITIZE) $(WIN) $(DIST)
