# The two commands of the README: `make run` and `make test`; `make package` builds the
# Debian source and binary packages into build/. All install the Debian packages that are
# missing; run and test configure and build in build/.

BUILD_DIR ?= build
JOBS ?= $(shell nproc)
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

# Everything the build, the program and the tests need.
PACKAGES := build-essential cmake pkg-config qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins \
  qt6-svg-dev libgl-dev libxcb1-dev libreoffice-calc libreoffice-draw libreoffice-dev libreoffice-dev-common \
  python3 python3-xlrd python3-openpyxl poppler-utils xvfb xauth fonts-liberation \
  fonts-dejavu-core dpkg-dev file desktop-file-utils appstream lintian man-db python3-debian \
  debhelper devscripts autopkgtest ccache libtcmalloc-minimal4 libreoffice-script-provider-python

.PHONY: run test package autopkgtest build configure deps bench clean format check-exits

# Only the program and what it runs with, not the test programs.
run: configure
	cmake --build $(BUILD_DIR) -j$(JOBS) --target tessivane
	./$(BUILD_DIR)/tessivane

# Two test programs at a time: each keeps its own settings, profiles and processes apart.
test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --parallel 2 --output-on-failure --timeout 900

# dpkg-buildpackage on a copy of the tree: build/tessivane_VERSION-REVISION_ARCH.deb, its
# -dbgsym package, the source package and the .changes. `make test` runs the tests, so the
# package's build does not (DEB_BUILD_OPTIONS=nocheck); ccache, when there, speeds up rebuilds.
# The tests build it too and check it.
package: deps
	DEB_BUILD_OPTIONS="nocheck $(DEB_BUILD_OPTIONS)" \
	  TESSIVANE_CCACHE=$$(command -v ccache) packaging/build-package.sh $(BUILD_DIR) -j$(JOBS)
	@echo "Check it: lintian --fail-on error,warning --pedantic $(BUILD_DIR)/tessivane_*.changes"

# The installed-package test of the package `make package` built: autopkgtest installs it on
# this machine (the null runner; remove it again with `sudo apt remove tessivane`). Its status
# 2 or 8 says a test was skipped: the workbook test of a program without the batch command.
autopkgtest: deps
	$(SUDO) autopkgtest $(BUILD_DIR)/tessivane_*.changes -- null; \
	  status=$$?; [ $$status -eq 0 ] || [ $$status -eq 2 ] || [ $$status -eq 8 ]

build: configure
	cmake --build $(BUILD_DIR) -j$(JOBS)

configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null \
	  | grep -q '^install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi

bench: build
	cmake --build $(BUILD_DIR) --target benchmarks -j$(JOBS)

# The program through each way out fifty times, built under the address checker in
# $(BUILD_DIR)/asan (only the program and that one test); any report fails it. Leaks are not
# looked for: the UNO runtime is deliberately never torn down.
check-exits: deps
	cmake -S . -B $(BUILD_DIR)/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address -fno-omit-frame-pointer" \
	  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address
	cmake --build $(BUILD_DIR)/asan --target tessivane tst_exits -j$(JOBS)
	cd $(BUILD_DIR)/asan && ASAN_OPTIONS=detect_leaks=0 TESSIVANE_EXIT_ROUNDS=50 QTEST_FUNCTION_TIMEOUT=3600000 \
	  QT_QPA_PLATFORM=offscreen ./tests/app/tst_exits

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD_DIR)
