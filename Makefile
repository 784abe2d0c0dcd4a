# Keyloom: `make run` builds keyloom.exe and starts it under Wine;
# `make test` builds everything and runs every test.

NATIVE   := build/native
SANITIZE := build/sanitize
WIN      := build/win
WERROR   ?= OFF
JOBS     ?= $(shell nproc)

.PHONY: deps test native sanitize win bench clean

deps:
	@tools/install-deps

native: deps
	@cmake -S . -B $(NATIVE) -DKEYLOOM_WERROR=$(WERROR) >/dev/null
	@cmake --build $(NATIVE) -j $(JOBS)

sanitize: deps
	@CC=clang CXX=clang++ cmake -S . -B $(SANITIZE) -DKEYLOOM_SANITIZE=ON \
	    -DKEYLOOM_WERROR=$(WERROR) >/dev/null
	@cmake --build $(SANITIZE) -j $(JOBS)

win: deps
	@cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	    -DKEYLOOM_WERROR=$(WERROR) >/dev/null
	@cmake --build $(WIN) -j $(JOBS)

test: native sanitize win
	ctest --test-dir $(NATIVE) --output-on-failure -j $(JOBS)
	ctest --test-dir $(SANITIZE) --output-on-failure -j $(JOBS)
	ctest --test-dir $(WIN) --output-on-failure

bench: native
	@for b in $(NATIVE)/bench/*_bench; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf $(NATIVE) $(SANITIZE) $(WIN)
