# The two set-up commands of the README. Both install what is missing,
# configure and build; `check` then runs every test, `run` starts Orvella.
BUILD_DIR ?= build
CMAKE_FLAGS ?=
JOBS ?= 2

.PHONY: all deps configure build check run clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

check: build
	@cd $(BUILD_DIR) && ctest --output-on-failure --no-tests=error -j $(JOBS)

run: build
	@scripts/run-app $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
