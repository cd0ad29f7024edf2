# The two set-up commands of a fresh Debian machine:
#   make run    installs what is missing, builds, slims the bundled samples
#   make test   installs what is missing, builds, runs every test
# Both are safe to repeat.

PRESET ?= $(if $(CI),ci,default)
BUILD_DIR := build
JOBS ?= $(shell nproc)

.PHONY: all setup build run test package install clean

all: build

setup:
	@bash scripts/setup.sh

build: setup
	@cmake --preset $(PRESET) >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@bash scripts/run-sample.sh $(BUILD_DIR)

test: build
	@bash scripts/run-tests.sh $(BUILD_DIR)

package: build
	@cd $(BUILD_DIR) && cpack -G DEB

install: build
	@cmake --install $(BUILD_DIR)

clean:
	@rm -rf $(BUILD_DIR)
