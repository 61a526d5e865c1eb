# SPDX-License-Identifier: GPL-3.0-or-later
# Two entry points for a fresh Debian machine: `make run` and `make test`.
#   make run     installs what building and running the application needs, builds, launches it
#   make test    installs that and what only the tests need, builds, runs every test
#   make deps    only installs, everything both need (run it as root for users without sudo)
#   make package builds the Debian package build/quillbore-ssh_<version>-1_<arch>.deb (no root)
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test package clean

all: build

# A build folder that this user cannot write, typically left by `su -c 'make test'`.
define check_build_dir
	@blocked=$$(find "$(BUILD_DIR)" ! -writable -print -quit 2>/dev/null || true); \
	if [ -n "$$blocked" ]; then \
	  echo "make: $(BUILD_DIR)/ is not writable for $$(id -un) ($$blocked; left by a run as root?): remove it as root (su -c 'rm -rf $(abspath $(BUILD_DIR))') or build elsewhere (make $(or $(MAKECMDGOALS),build) BUILD_DIR=build-$$(id -un))" >&2; \
	  exit 1; \
	fi
endef

define configure_and_build
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS)
endef

deps:
	@scripts/install-deps test

configure:
	$(check_build_dir)
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) >/dev/null

build:
	$(check_build_dir)
	$(configure_and_build)

run:
	$(check_build_dir)
	@scripts/install-deps run
	$(configure_and_build)
	@scripts/run-app $(BUILD_DIR)

# CTest names skipped tests only; show-skipped prints their reasons.
test:
	$(check_build_dir)
	@scripts/install-deps test
	$(configure_and_build)
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS); status=$$?; \
	  cd $(CURDIR) && scripts/show-skipped $(BUILD_DIR); exit $$status

package:
	$(check_build_dir)
	@scripts/install-deps run
	$(configure_and_build)
	@cmake --build $(BUILD_DIR) --target package

clean:
	rm -rf $(BUILD_DIR)
