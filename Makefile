# The two commands of the README: `make run` and `make test`; `make package` builds the
# Debian package. All install the Debian packages that are missing, configure and build in build/.

BUILD_DIR ?= build
JOBS ?= $(shell nproc)
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

# Everything the build, the program and the tests need.
PACKAGES := build-essential cmake pkg-config qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins \
  qt6-svg-dev libgl-dev libxcb1-dev libreoffice-calc libreoffice-draw libreoffice-dev libreoffice-dev-common \
  python3 python3-xlrd python3-openpyxl poppler-utils xvfb xauth fonts-liberation \
  fonts-dejavu-core dpkg-dev file desktop-file-utils appstream lintian man-db python3-debian

.PHONY: run test package build deps bench clean format check-exits

run: build
	./$(BUILD_DIR)/tessivane

# Two test programs at a time: each keeps its own settings, profiles and processes apart.
test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --parallel 2 --output-on-failure --timeout 900

# build/tessivane_VERSION_ARCH.deb; the tests build it too and check it. To check a package by
# hand: lintian --fail-on error,warning build/tessivane_*.deb (and see the README).
package: build
	cmake --build $(BUILD_DIR) --target package
	@echo "Check it: lintian --fail-on error,warning $(BUILD_DIR)/tessivane_*.deb"

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_DIR) -j$(JOBS)

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
