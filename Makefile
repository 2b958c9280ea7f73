# TRAZEL build entry points.  `make run` and `make test` work from a fresh Debian machine.
SHELL := /bin/bash
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
TSAN_BUILD ?= build-tsan
FUZZ_SECONDS ?= 4
CMAKE_FLAGS ?=
MAIN_FLAGS ?=
ifdef CI
CMAKE_FLAGS += -DTRAZEL_WERROR=ON
# A CI build is thrown away after its run: no debug information, which is a quarter of its compile time.
MAIN_FLAGS += -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG"
endif

# Packages for the build, the unit and interop tests, the fuzzers and the desktop front end.
DEB_PACKAGES := cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev \
	libpng-dev zlib1g-dev libzip-dev unzip pkg-config libwxgtk3.2-dev libx11-dev xvfb xauth xdotool x11-apps \
	gerbv pcb-rnd python3-ezdxf hp2xx ghostscript imagemagick dcmtk netpbm fitsverify \
	libcups2-dev cups printer-driver-cups-pdf poppler-utils librecad groff \
	dpkg-dev desktop-file-utils shared-mime-info libxml2-utils libglib2.0-bin

.PHONY: all deps deps-kicad build test unit-test asan-test tsan-router fuzz-build fuzz-smoke fuzz-long bench run clean \
	install package package-test

all: build

deps:
	@missing=$$(for p in $(DEB_PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
		echo "Installing:" $$missing; \
		SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
		export DEBIAN_FRONTEND=noninteractive; \
		$$SUDO apt-get update -qq && $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	fi

# KiCad and its footprint libraries: only the interop comparison of our footprint libraries uses them.
KICAD_PACKAGES := kicad kicad-footprints

deps-kicad:
	@missing=$$(for p in $(KICAD_PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
		echo "Installing:" $$missing; \
		SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
		export DEBIAN_FRONTEND=noninteractive; \
		$$SUDO apt-get update -qq && $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) $(MAIN_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# clang builds the sanitizer tests in about 60% of gcc's time.
$(ASAN_BUILD)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTRAZEL_SANITIZE=ON -DTRAZEL_BENCH=OFF \
		-DTRAZEL_GUI=OFF $(CMAKE_FLAGS)

unit-test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

asan-test: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS) --timeout 900 -LE 'interop|gui'

# The routing thread against the user interface under ThreadSanitizer: the engine's tests and the shell's
# auto-route tests, in a build of their own (not part of `make test`).
$(TSAN_BUILD)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRAZEL_BENCH=OFF \
		-DTRAZEL_GUI=OFF -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread

tsan-router: deps $(TSAN_BUILD)/build.ninja
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target test_router test_shell
	cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ./test_router
	cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ./test_shell --gtest_filter='RouteCommands*'

$(FUZZ_BUILD)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRAZEL_FUZZ=ON \
		-DTRAZEL_TESTS=OFF -DTRAZEL_BENCH=OFF -DTRAZEL_GUI=OFF

fuzz-build: deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

# Each harness runs a few seconds from its seed corpus (tests/data plus fuzz/corpus/<name>), with the code
# dictionary fuzz/<name>.dict when there is one.
fuzz-smoke: fuzz-build
	@set -e; for f in $(FUZZ_BUILD)/fuzz_*; do \
		[ -x "$$f" ] || continue; name=$$(basename $$f); \
		mkdir -p $(FUZZ_BUILD)/corpus/$$name; \
		seeds=$(FUZZ_BUILD)/corpus/$$name; [ -d fuzz/corpus/$$name ] && cp -r fuzz/corpus/$$name/. $$seeds/; \
		cp tests/data/* $$seeds/ 2>/dev/null || true; \
		dict=; [ -f fuzz/$$name.dict ] && dict=-dict=fuzz/$$name.dict; \
		echo "fuzz-smoke: $$name ($(FUZZ_SECONDS) s)"; \
		$$f -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 $$dict $$seeds >$(FUZZ_BUILD)/$$name.log 2>&1 \
			|| { tail -n 40 $(FUZZ_BUILD)/$$name.log; exit 1; }; \
	done

# The harnesses of the readers of outside files for FUZZ_LONG_SECONDS each, one after another, from the same
# seeds as fuzz-smoke (with the files under tests/data's folders too) and their dictionaries; a line of
# executions per harness at the end.  Not part of `make test`.
FUZZ_LONG_SECONDS ?= 1200
FUZZ_LONG := fuzz_gerber fuzz_excellon fuzz_aperture_macro fuzz_old_v3 fuzz_old_v2 fuzz_old_write \
	fuzz_dxf fuzz_tango_board fuzz_tango_schematic fuzz_protel \
	fuzz_bmp fuzz_pcx fuzz_gif fuzz_lzw fuzz_tiff fuzz_ccitt fuzz_fits fuzz_text_header fuzz_dicom fuzz_dvi

fuzz-long: fuzz-build
	@set -e; summary=; for name in $(FUZZ_LONG); do \
		f=$(FUZZ_BUILD)/$$name; seeds=$(FUZZ_BUILD)/corpus/$$name; log=$(FUZZ_BUILD)/$$name.long.log; \
		mkdir -p $$seeds; [ -d fuzz/corpus/$$name ] && cp -r fuzz/corpus/$$name/. $$seeds/; \
		find tests/data -type f -exec cp {} $$seeds/ \; ; \
		dict=; [ -f fuzz/$$name.dict ] && dict=-dict=fuzz/$$name.dict; \
		echo "fuzz-long: $$name ($(FUZZ_LONG_SECONDS) s)"; \
		$$f -max_total_time=$(FUZZ_LONG_SECONDS) -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 $$dict $$seeds >$$log 2>&1 \
			|| { tail -n 40 $$log; exit 1; }; \
		execs=$$(sed -n 's/^stat::number_of_executed_units: *//p' $$log); \
		summary="$$summary$$name: $${execs:-?} executions in $(FUZZ_LONG_SECONDS) s\n"; \
	done; printf "fuzz-long:\n$$summary"

test: build unit-test asan-test fuzz-smoke

bench: build
	@bash bench/run.sh $(BUILD)

# The programs, templates, libraries, examples, file types, desktop entry, icons and manual pages under
# PREFIX (the build's own prefix, /usr/local, when not given).
install: build
	cmake --install $(BUILD) $(if $(PREFIX),--prefix $(PREFIX))

# The Debian package, trazel_<version>_<arch>.deb in $(BUILD); its Depends are computed from the libraries
# the programs link (dpkg-shlibdeps).
package: build
	cd $(BUILD) && cpack -G DEB

# The package on this machine: its control fields (with the computed Depends), an install with dpkg, the
# installed batch tool's version line, lintian's errors when lintian is there; then the package is removed
# again, so that the installed data cannot stand in for a build tree's in later tests.
package-test: package
	@set -e; deb=$$(ls -t $(BUILD)/trazel_*.deb | head -n 1); \
	dpkg-deb -I $$deb; \
	[ -n "$$(dpkg-deb -f $$deb Depends)" ] || { echo "package-test: the package has no Depends"; exit 1; }; \
	SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
	$$SUDO dpkg -i $$deb; \
	/usr/bin/trazel-cli --version; \
	if command -v lintian >/dev/null; then lintian --tag-display-limit 0 $$deb || true; \
	else echo "package-test: lintian is not installed"; fi; \
	$$SUDO dpkg -r trazel >/dev/null; \
	echo "package-test: $$deb installs and runs"

run: build
	@bash share/examples/run-demo.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(TSAN_BUILD)
