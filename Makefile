# The two set-up commands of the README. Both install what is missing,
# configure and build; `check` then runs every test, `run` starts Orvella.
BUILD_DIR ?= build
CMAKE_FLAGS ?=
JOBS ?= 2
# The Windows build (MinGW-w64) and its tests, run under Wine: the whole program
# and its MSI; with WIN32_GUI=OFF only the engine and the platform seam.
WIN32_BUILD_DIR ?= $(BUILD_DIR)/win32
WIN32_GUI ?= ON

.PHONY: all deps configure build check run clean package win32 win32-check win32-package format

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

check: build win32
	@cd $(BUILD_DIR) && ctest --output-on-failure --no-tests=error -j $(JOBS)
	@$(MAKE) --no-print-directory win32-check

# The first configure on a machine cross-builds the Windows libraries into
# ~/.cache/orvella/win32-deps (Qt takes the better part of an hour).
win32: deps
	@cmake -S . -B $(WIN32_BUILD_DIR) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DORVELLA_GUI=$(WIN32_GUI) -DORVELLA_NETLAB_HOST=$(abspath $(BUILD_DIR))/tests/net/orvella_netlab_host \
	  $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(WIN32_BUILD_DIR) -j $(JOBS)

# The whole program and $(WIN32_BUILD_DIR)/orvella-<version>-x64.msi.
win32-package:
	@$(MAKE) --no-print-directory win32 WIN32_GUI=ON

# A fresh Wine prefix for every run.
win32-check: win32
	@WINEPREFIX=$(abspath $(WIN32_BUILD_DIR))/wine-prefix wineserver -k 2>/dev/null || true
	@rm -rf $(WIN32_BUILD_DIR)/wine-prefix
	@cd $(WIN32_BUILD_DIR) && ctest --output-on-failure --no-tests=error -j $(JOBS)

run: build
	@scripts/run-app $(BUILD_DIR)

# Lays out every tracked C++ file as .clang-format says; `make check` fails
# when one is not (unit test Format.TreeIsFormatted).
format:
	@scripts/format

clean:
	rm -rf $(BUILD_DIR)

# The Debian package, built Release in a folder of its own with Debian's
# hardening flags: $(PACKAGE_DIR)/orvella_<version>-1_amd64.deb.
PACKAGE_DIR ?= build-package

package: deps
	@scripts/build-package $(PACKAGE_DIR) $(JOBS) $(CMAKE_FLAGS)
