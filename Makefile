# The two commands of the README:
#   make run   installs what is missing, builds, runs the demo patch
#   make test  installs what is missing, builds every configuration and runs
#              every test, the 32-bit Windows build under Wine included
.PHONY: run test bootstrap wine-prefix fuzz bench clean format goldens

JOBS ?= $(shell nproc)

bootstrap:
	@scripts/bootstrap

build-%: bootstrap
	cmake --preset $* >/dev/null
	cmake --build --preset $* -j $(JOBS)

test-%: build-%
	ctest --preset $* -j $(JOBS)

test-win32: wine-prefix

wine-prefix: bootstrap
	@scripts/wine-prefix

run: build-linux-release
	build/linux-release/bin/plughost run examples/demo.json
	@echo "The note calculator Tonus: start build/linux-release/bin/Tonus (a window; needs a display)"

fuzz: bootstrap
	cmake --preset linux-fuzz >/dev/null
	cmake --build --preset linux-fuzz -j $(JOBS) --target fuzzers
	scripts/run-fuzzers build/linux-fuzz

# Redraws the golden PNGs (platform/tests/golden, modules/breakpoint/tests/golden)
# with real GDI (the Windows build under Wine).
goldens: bootstrap
	JOBS=$(JOBS) scripts/make-goldens

bench: build-linux-release
	build/linux-release/bin/bench

test: test-linux-debug test-linux-release test-win32 fuzz
	@echo "make test: all configurations passed"

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
