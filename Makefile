# The two commands of the README:
#   make run   installs what is missing, builds, runs the demo patch
#   make test  installs what is missing, builds every configuration and runs
#              every test, the 32-bit Windows build under Wine included, and
#              checks the release packages that make dist makes
.PHONY: run test bootstrap wine-prefix fuzz bench clean format goldens test-start dist test-dist

JOBS ?= $(shell nproc)

bootstrap:
	@scripts/bootstrap

build-%: bootstrap
	cmake --preset $* >/dev/null
	cmake --build --preset $* -j $(JOBS)

# A run in which no test matched is an error, never a pass.
test-%: build-%
	ctest --preset $* -j $(JOBS) --no-tests=error

# The Windows configurations run under Wine where this machine runs 32-bit
# programs natively; elsewhere they are built, their exports checked, and
# their tests reported as not run (scripts/test-windows).
test-win32: build-win32
	JOBS=$(JOBS) scripts/test-windows win32

test-win32-checked: build-win32-checked
	JOBS=$(JOBS) scripts/test-windows win32-checked

wine-prefix: bootstrap
	@scripts/wine-prefix

test-start:
	@rm -f build/windows-tests-skipped

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

# Each configuration in turn, so that the last lines say how the whole run went.
test: bootstrap test-start
	$(MAKE) test-linux-debug
	$(MAKE) test-linux-release
	$(MAKE) test-win32
	$(MAKE) test-win32-checked
	$(MAKE) fuzz
	$(MAKE) test-dist
	@if [ -f build/windows-tests-skipped ]; then \
	  echo; \
	  echo "##################################################################"; \
	  echo "## make test: the WINDOWS TESTS WERE NOT RUN on this machine:"; \
	  echo "##   $$(cat build/windows-tests-skipped)"; \
	  echo "## The Windows build was compiled and its exports checked; every"; \
	  echo "## other configuration passed. Run make test on a machine that"; \
	  echo "## runs 32-bit programs to run them."; \
	  echo "##################################################################"; \
	else \
	  echo "make test: all configurations passed, the Windows tests under Wine included"; \
	fi

# The release packages in dist/: the Windows zip and the Linux package, each
# made by CPack from its own build (cmake/Packaging.cmake), with SHA256SUMS
# of both. The version is git describe's (cmake/Version.cmake).
DIST_TARGETS = plughost sysex_tool Tonus Forka Divara_v3 Divara_v2 Kurvo Byteloom guide_html

dist: bootstrap
	rm -rf dist
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 -j $(JOBS) --target $(DIST_TARGETS)
	cd build/win32 && cpack
	cmake --preset linux-release >/dev/null
	cmake --build --preset linux-release -j $(JOBS) --target $(DIST_TARGETS) man_pages
	cd build/linux-release && cpack
	rm -rf dist/_CPack_Packages
	cd dist && sha256sum *.zip *.deb > SHA256SUMS
	@cd dist && ls -l

# The checks of what make dist made (scripts/check-dist), and that those
# checks fail on a broken copy of it.
test-dist: dist
	scripts/check-dist dist
	scripts/tests/check_dist_catches.py dist

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
