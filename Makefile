# QRX plug-ins: the two commands of README.md, plus install.
#   make demo     install what is missing, build, render the demo input
#   make test     install what is missing, build, run every test (the Windows build's under wine)
#   make install  plug-ins to ~/.vst, LV2 bundles to ~/.lv2, tools to ~/.local/bin, stripped;
#                 make uninstall removes exactly what it installed
#   make bench    the speed table against LSP's compressor and ZamCompX2 (no test ever times)

BUILD    ?= build
JOBS     ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

# Debian packages the build and the tests need.
PACKAGES = cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev libxsimd-dev \
           libsndfile1-dev libcairo2-dev \
           dpf-source libx11-dev libxext-dev libxtst-dev fonts-liberation xvfb xauth zenity \
           zam-plugins lsp-plugins-vst clang libclang-rt-14-dev clang-format clang-tidy xz-utils \
           libebur128-dev binutils lv2-dev lilv-utils liblilv-dev libsuil-dev jalv sordi \
           lsp-plugins-lv2

# Where `make install` puts the plug-ins: the first folder of $VST_PATH, else ~/.vst.
VST_DIR ?= $(if $(VST_PATH),$(firstword $(subst :, ,$(VST_PATH))),$(HOME)/.vst)
# Where `make install` puts the LV2 bundles: the first folder of $LV2_PATH, else ~/.lv2.
LV2_DIR ?= $(if $(LV2_PATH),$(firstword $(subst :, ,$(LV2_PATH))),$(HOME)/.lv2)
DEMO_OUT ?= out
# Where `make install` puts the tools (PREFIX/bin) and the list of what it installed
# (PREFIX/share/qrx/installed.txt), which `make uninstall` reads.
PREFIX ?= $(HOME)/.local
# What `make install` installs, as KIND:NAME items of tools/install.sh.
INSTALL_ITEMS = plugin:grandpress.so plugin:tinypress.so lv2:qrx-grandpress.lv2 lv2:qrx-tinypress.lv2 \
                tool:qrx-render tool:qrx-shot tool:qrx-demo-signal tool:qrx-bench

# Debian packages of the Windows build (make windows, make windows-test, part of make test): the
# mingw-w64 cross compiler, and wine and Xvfb to run its test programs. GoogleTest comes from
# libgtest-dev's sources. The editors need pugl's sources (dpf-source), the native skin generator
# cairo, their tests the fonts "Arial" maps to, and the vector kernels xsimd's headers.
WINDOWS_PACKAGES = cmake make g++-mingw-w64-x86-64-posix wine64 wine libgtest-dev libgmock-dev \
                   dpf-source libcairo2-dev pkg-config g++ xvfb xauth fonts-liberation libxsimd-dev

.PHONY: all deps build asan-build test format-check tidy regression fuzz tsan install uninstall demo clean bench \
        windows-deps test-deps windows windows-test print-lv2-dir

all: build

deps: LIST = $(PACKAGES)
windows-deps: LIST = $(WINDOWS_PACKAGES)
# test-deps: both lists in one apt-get run (one index update, one pass of the package triggers).
test-deps: LIST = $(sort $(PACKAGES) $(WINDOWS_PACKAGES))
deps windows-deps test-deps:
	@missing=""; for p in $(LIST); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  if [ "$$(id -u)" = 0 ]; then SUDO=""; else SUDO=sudo; fi; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# The tests run twice: in the normal build and under AddressSanitizer + UndefinedBehaviorSanitizer.
ASAN_BUILD ?= build-asan
SANITIZER_ENV = LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizers/lsan.supp:print_suppressions=0 \
                UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:suppressions=$(CURDIR)/tests/sanitizers/ubsan.supp \
                ASAN_OPTIONS=detect_stack_use_after_return=1:strict_string_checks=1

test: test-deps format-check build tidy asan-build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory regression
	cd $(ASAN_BUILD) && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory fuzz
	$(MAKE) --no-print-directory tsan
	$(MAKE) --no-print-directory windows-test

# Realtime factors of both plug-ins in the settings of bench/table.sh, as ratios to LSP's stereo
# compressor in the same run, and the instruction sets our plug-ins run; then the LV2 bundles
# beside LSP's LV2 compressor (lv2bench); see bench/table.sh.
bench: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target qrx-bench grandpress tinypress \
	  qrx-grandpress-lv2 qrx-tinypress-lv2 qrx-grandpress-ttl qrx-tinypress-ttl
	bench/table.sh $(BUILD)

# Every C and C++ source is formatted as .clang-format says; a difference fails the run.
format-check: deps
	@files=$$(git ls-files -co --exclude-standard '*.cpp' '*.h' '*.c'); \
	if ! clang-format --dry-run --Werror $$files; then \
	  echo "format-check: run clang-format -i on the files above"; exit 1; fi

# clang-tidy (.clang-tidy: bugprone and performance checks) on the sources of the non-GUI targets,
# listed by the configure step; any finding fails the run.
# GCC-only options (the vectoriser's cost model) are left out of clang-tidy's copy of the commands.
tidy: build
	@mkdir -p $(BUILD)/tidy && sed 's/-fvect-cost-model=[a-z]*//g' $(BUILD)/compile_commands.json \
	  >$(BUILD)/tidy/compile_commands.json
	@xargs -a $(BUILD)/non-gui-sources.txt -P $(JOBS) -n 4 clang-tidy -p $(BUILD)/tidy --quiet || \
	  { echo "tidy: clang-tidy found the problems above"; exit 1; }

# The renders of every factory program against the reference build (see tests/regression/run.sh),
# once on the fastest kernels this processor runs and once on the plain x86-64 ones: both stay
# within 1e-6 of full scale (-120 dB) of the reference.
REGRESSION_TOLERANCE ?= 1e-6
regression: build
	tests/regression/run.sh $(BUILD) $(REGRESSION_TOLERANCE)
	tests/regression/run.sh $(BUILD) $(REGRESSION_TOLERANCE) --baseline

# Audio, automation and editor threads at once under ThreadSanitizer; see tests/hostile/tsan.sh.
TSAN_SECONDS ?= 4
tsan: deps
	tests/hostile/tsan.sh $(TSAN_SECONDS)

# Bounded fuzzing (clang's libFuzzer) of everything that reads outside data; see tests/fuzz/run.sh.
FUZZ_SECONDS ?= 10
fuzz: deps
	FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) tests/fuzz/run.sh

$(ASAN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQRX_SANITIZE=address,undefined

asan-build: deps $(ASAN_BUILD)/CMakeCache.txt
	$(SANITIZER_ENV) cmake --build $(ASAN_BUILD) -j $(JOBS)

install: build
	tools/install.sh install "$(BUILD)" "$(PREFIX)" "$(VST_DIR)" "$(LV2_DIR)" $(INSTALL_ITEMS)

uninstall:
	tools/install.sh uninstall "$(PREFIX)"

print-lv2-dir:
	@echo "$(LV2_DIR)"

# Renders a generated drums-and-bass signal through three factory programs of each plug-in.
demo: build
	@mkdir -p $(DEMO_OUT)
	$(BUILD)/bin/qrx-demo-signal $(DEMO_OUT)/demo.wav 8
	@for plugin in grandpress tinypress; do \
	  for program in "Gentle Master" "Mezzo Leveler" "HeavyDrumKit"; do \
	    name=$$plugin-$$(echo "$$program" | tr 'A-Z ' 'a-z-'); \
	    $(BUILD)/bin/qrx-render --plugin $$plugin --program "$$program" \
	      --plot $(DEMO_OUT)/$$name.png $(DEMO_OUT)/demo.wav $(DEMO_OUT)/$$name.wav || exit 1; \
	  done; \
	done
	@echo; echo "demo input, renders and plots are in $(abspath $(DEMO_OUT))/"

# Windows x64: cross built with mingw-w64 into build-win/, tested under wine.
WIN_BUILD ?= build-win
WINEPREFIX_DIR = $(abspath $(WIN_BUILD))/wineprefix
WINE_ENV = WINEPREFIX=$(WINEPREFIX_DIR) WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all

WIN_CMAKE_FLAGS ?=

$(WIN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake \
	  $(WIN_CMAKE_FLAGS)

windows: windows-deps $(WIN_BUILD)/CMakeCache.txt
	cmake --build $(WIN_BUILD) -j $(JOBS)

# The whole run is inside one Xvfb server, so the editor tests' windows have a display. wine's
# server and prefix start first, with their output detached: wine's background services would
# otherwise keep ctest's output pipe open and ctest would never end. The server is stopped
# afterwards whatever the tests said. "Arial" is Liberation Sans in the test prefix, as on Linux;
# its screens have 96 dpi (the editor tests set 144 and 192 for a while, and put 96 back). The
# screen is large enough for an editor at 200 %.
WINE_TEST_RUN = $(WINE_ENV) wineserver -p </dev/null >/dev/null 2>&1; \
  $(WINE_ENV) wineboot --init </dev/null >/dev/null 2>&1; \
  $(WINE_ENV) /usr/lib/wine/wine64 reg add "HKCU\Software\Wine\Fonts\Replacements" \
    /v Arial /t REG_SZ /d "Liberation Sans" /f </dev/null >/dev/null 2>&1; \
  $(WINE_ENV) /usr/lib/wine/wine64 reg add "HKCU\Control Panel\Desktop" \
    /v LogPixels /t REG_DWORD /d 96 /f </dev/null >/dev/null 2>&1; \
  cd $(WIN_BUILD) && $(WINE_ENV) ctest --output-on-failure -j $(JOBS); \
  status=$$?; $(WINE_ENV) wineserver -k </dev/null >/dev/null 2>&1; exit $$status

windows-test: windows
	mkdir -p $(WINEPREFIX_DIR)
	$(WINE_ENV) wineserver -k </dev/null >/dev/null 2>&1 || true
	xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '$(WINE_TEST_RUN)'

clean:
	rm -rf $(BUILD) $(BUILD)-reference $(ASAN_BUILD) build-fuzz build-tsan $(WIN_BUILD)
