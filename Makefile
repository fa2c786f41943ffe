# Two set-up commands: `make run` and `make test`. Both install what is missing (Debian, as root or
# through sudo), configure and build; then run starts the window, test runs every test.
BUILD     ?= build
FUZZBUILD ?= build-fuzz
JOBS      ?= $(shell nproc)
DEBIAN_PACKAGES = clang-format cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev \
                  libbenchmark-dev xvfb xauth fonts-dejavu-core clang libclang-rt-14-dev \
                  libssl-dev libudev-dev libcli11-dev libfmt-dev lpc21isp nlohmann-json3-dev python3 python3-jsonschema \
                  dpkg-dev lintian desktop-file-utils appstream man-db librsvg2-bin bash-completion

# The Windows build: MinGW-w64 with POSIX threads, Wine to run its tests, GoogleTest's sources to build it with,
# msitools (wixl, msibuild) and zip for the installer and the archive, tmux for the test in a Wine console.
WINBUILD ?= build-windows
WINDOWS_PACKAGES = g++-mingw-w64-x86-64-posix wine wine64 googletest msitools wixl zip unzip tmux

.PHONY: run test build deps package fuzz bench screenshot tsan clean format format-check windows deps-windows test-windows

deps:
	@missing=""; for p in $(DEBIAN_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi

# Wine without its recommended extras (fonts, sound, Mono and Gecko installers): the tests need none.
deps-windows:
	@missing=""; for p in $(WINDOWS_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "There is no display here, so the window cannot open; use the command-line companion instead, for example:"; \
	  echo "  $(BUILD)/cli/hlx ports"; \
	  echo "  $(BUILD)/cli/hlx check-hex firmware.hex"; \
	  echo "  $(BUILD)/cli/hlx flash rtq firmware.hex --port /dev/ttyUSB0"; \
	  echo "  $(BUILD)/cli/hlx --help"; \
	else \
	  $(BUILD)/app/hlx-service-tool; \
	fi

# Short fuzz runs, the package check and the Windows build under Wine first, so that ctest's summary is
# the run's closing line.
test: build
	scripts/check_layers.py
	$(MAKE) --no-print-directory format-check
	$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=$${FUZZ_SECONDS:-10}
	$(MAKE) --no-print-directory package
	tests/packaging/check-package.sh $(BUILD)
	$(MAKE) --no-print-directory test-windows
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The Debian package of the build, $(BUILD)/hlx-service-tool_VERSION_ARCH.deb (CPack; see packaging/).
package: build
	cd $(BUILD) && cpack -G DEB

# libFuzzer targets in a clang build of their own; each runs FUZZ_SECONDS on its seed corpus. What a run
# finds (crash-*, leak-*, timeout-*, oom-*) lands in $(FUZZBUILD)/artifacts/<target>/, never in the
# source tree; a finding, once fixed, goes into the target's corpus as a regression input.
FUZZ_SECONDS ?= 60
fuzz: deps
	CXX=clang++ cmake -S . -B $(FUZZBUILD) -G Ninja -DHLX_BUILD_FUZZERS=ON -DHLX_BUILD_TESTS=OFF \
	  -DHLX_BUILD_BENCHMARKS=OFF -DHLX_BUILD_GUI=OFF >/dev/null
	cmake --build $(FUZZBUILD) -j $(JOBS)
	@for f in $(FUZZBUILD)/tests/fuzz/fuzz_*; do \
	  name=$$(basename $$f); corpus=tests/fuzz/corpus/$${name#fuzz_}; work=$$(mktemp -d); \
	  artifacts=$(FUZZBUILD)/artifacts/$${name#fuzz_}; mkdir -p $$artifacts; \
	  [ -d $$corpus ] && cp -r $$corpus/. $$work/; \
	  echo "fuzzing $$name for $(FUZZ_SECONDS) s"; \
	  $$f -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -print_final_stats=0 -artifact_prefix=$$artifacts/ $$work \
	    2>$$work.log || { tail -40 $$work.log; echo "finding kept in $$artifacts/"; exit 1; }; \
	  rm -rf $$work $$work.log; \
	done

bench: build
	tests/bench/run-benchmarks.sh $(BUILD)

# The thread-sanitizer build of the suites that run threads (job slot, window, link, downloads, the gang
# runs of hlx, which the cli suite starts as the sanitized binary, the job log's writers). Qt's
# event queue is not instrumented, so the window hands calls to the GUI thread through a queue of its own
# that the sanitizer sees; nothing is suppressed. (Qt's own worker threads are not instrumented either:
# the few tests that drive them at scale, a full-HD picture or the window program painting, skip
# themselves in this build.)
tsan: deps
	cmake -S . -B build-tsan -G Ninja -DHLX_SANITIZE=thread -DHLX_BUILD_BENCHMARKS=OFF >/dev/null
	cmake --build build-tsan -j $(JOBS) --target app_logic_tests serial_tests jobs_tests firmware_tests gui_tests download_e2e_tests \
	  terminal_tests sender_e2e_tests cli_tests report_tests output_tests base_tests
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1" QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) \
	  -R 'JobSlot|JobFrame|MainWindow|Terminal|Link|SerialPort|QtOutputWindow|QtCall|Download|Monitor|Sender|SendCli|Gang|JobLog|TextWindow|FileBuffer|IspRate'

# Every C++ file as .clang-format has it; format rewrites them, format-check (run by make test) only looks.
FORMATTED = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)
format:
	clang-format -i $(FORMATTED)
format-check:
	@clang-format --dry-run --Werror $(FORMATTED) && echo "format-check: $(words $(FORMATTED)) files as .clang-format has them"

# hlx.exe and the core's suites as Windows programs in $(WINBUILD) (cross-compiled, static runtime: hlx.exe
# needs nothing else on a Windows machine), and what a Windows technician installs: the MSI and the zip
# archive of hlx.exe with its documents (packaging/windows). The simulators stay Linux programs.
windows: deps deps-windows
	cmake -S . -B $(WINBUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
	  -DHLX_BUILD_GUI=OFF -DHLX_BUILD_BENCHMARKS=OFF >/dev/null
	cmake --build $(WINBUILD) -j $(JOBS)

# The Windows suites under Wine, then hlx.exe end to end against this build's simulators (a Wine prefix of
# its own in $(WINBUILD), made afresh each run; see scripts/test-windows.sh).
test-windows: build windows
	scripts/test-windows.sh $(BUILD) $(WINBUILD)

# A picture of the window as a technician sees it (Xvfb).
screenshot: build
	tests/app/screenshot.sh $(BUILD) window.png

clean:
	rm -rf $(BUILD) $(FUZZBUILD) build-tsan $(WINBUILD)
