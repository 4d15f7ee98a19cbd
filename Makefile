# The two commands of the README: `make run` and `make test`. Both install any
# missing Debian packages first, then configure and build with CMake.

BUILD_DIR ?= build
SANITIZE_DIR ?= build-sanitize
RELEASE_DIR ?= build-release
DEB_DIR ?= build-deb
WINDOWS_DIR ?= build-windows
DIST_DIR ?= dist
JOBS ?= $(shell nproc)
# Warnings are errors in CI.
WERROR := $(if $(CI),ON,OFF)

.PHONY: all deps configure build run test test-sanitize bench video release deb test-release \
	check-reproducible windows test-windows check-reproducible-windows clean

all: build

deps:
	@tools/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DVIMBEL_WERROR=$(WERROR)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/vimbel-demo

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The same suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=Debug -DVIMBEL_SANITIZE=ON \
		-DVIMBEL_BENCHMARKS=OFF -DVIMBEL_WERROR=$(WERROR)
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && ctest --output-on-failure -j $(JOBS)

bench: build
	./$(BUILD_DIR)/vimbel-bench

# The whole demo with its music as a 1080p60 video, rendered off-screen.
video: build
	./$(BUILD_DIR)/vimbel-capture --size 1920x1080 --fps 60 --force $(BUILD_DIR)/vimbel-demo.mp4
	@echo "The video is at $(BUILD_DIR)/vimbel-demo.mp4"

# The release archive: a stripped Release build whose executable finds its
# libraries in lib/ beside it, put together by packaging/make-release.sh.
release: deps
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DVIMBEL_BUNDLED_LIBS=ON \
		-DVIMBEL_TESTS=OFF -DVIMBEL_BENCHMARKS=OFF -DVIMBEL_WERROR=$(WERROR)
	cmake --build $(RELEASE_DIR) -j $(JOBS)
	packaging/make-release.sh $(RELEASE_DIR) $(DIST_DIR)

BUILDFLAGS := DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
# The Debian package, built by CPack with Debian's hardening flags and without
# a run path; it lands in $(DIST_DIR).
deb: deps
	cmake -S . -B $(DEB_DIR) -DCMAKE_BUILD_TYPE=Release -DVIMBEL_DEB=ON \
		-DVIMBEL_TESTS=OFF -DVIMBEL_BENCHMARKS=OFF -DVIMBEL_WERROR=$(WERROR) \
		-DCMAKE_INSTALL_PREFIX=/usr \
		-DCMAKE_CXX_FLAGS="$$($(BUILDFLAGS) CPPFLAGS) $$($(BUILDFLAGS) CXXFLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$$($(BUILDFLAGS) LDFLAGS)"
	cmake --build $(DEB_DIR) -j $(JOBS)
	cd $(DEB_DIR) && cpack -G DEB -B $(abspath $(DIST_DIR))
	rm -rf $(DIST_DIR)/_CPack_Packages

# Checks the archive and the package, and that two fresh clones of HEAD build
# byte-identical releases.
test-release: release deb
	packaging/test-release.sh all $(RELEASE_DIR) $(DIST_DIR)

check-reproducible: deps
	packaging/test-release.sh reproducible $(RELEASE_DIR) $(DIST_DIR)

# The Windows archive: the SDL family built from source once (cached by
# cross/build-family.sh), the host's asset embedder, the demo cross-built with
# mingw-w64, put together by windows/make-release.sh.
windows:
	@tools/install-deps.sh windows
	cmake -S . -B $(WINDOWS_DIR)/host -DCMAKE_BUILD_TYPE=Release -DVIMBEL_TESTS=OFF \
		-DVIMBEL_BENCHMARKS=OFF >/dev/null
	cmake --build $(WINDOWS_DIR)/host --target bindata-gen -j $(JOBS)
	family=$$(cross/build-family.sh windows-x86_64 cross/mingw-w64-x86_64.cmake) && \
	cmake -S . -B $(WINDOWS_DIR)/demo -DCMAKE_TOOLCHAIN_FILE=cross/mingw-w64-x86_64.cmake \
		-DVIMBEL_SDL_FAMILY="$$family" -DVIMBEL_HOST_BINDATA_GEN=$(abspath $(WINDOWS_DIR))/host/bindata-gen \
		-DVIMBEL_WERROR=$(WERROR)
	cmake --build $(WINDOWS_DIR)/demo -j $(JOBS)
	windows/make-release.sh $(WINDOWS_DIR)/demo $(DIST_DIR)

# Checks the archive and runs the executable under Wine (reproducibility,
# which builds two fresh clones, is check-reproducible-windows).
test-windows: windows
	windows/test-windows.sh run $(WINDOWS_DIR)/demo

# Two fresh clones of HEAD must build identical Windows archives.
check-reproducible-windows:
	@tools/install-deps.sh windows
	windows/test-windows.sh reproducible $(WINDOWS_DIR)/demo

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(RELEASE_DIR) $(DEB_DIR) $(WINDOWS_DIR) $(DIST_DIR)
