# The two commands of the README: `make run` and `make test`. Both install any
# missing Debian packages first, then configure and build with CMake.

BUILD_DIR ?= build
SANITIZE_DIR ?= build-sanitize
# The Linux release builds: $(LINUX_DIR)-x86_64 and $(LINUX_DIR)-aarch64.
LINUX_DIR ?= build-linux
DEB_DIR ?= build-deb
WINDOWS_DIR ?= build-windows
DIST_DIR ?= dist
WEB_DIR ?= build-web
JOBS ?= $(shell nproc)
# Warnings are errors in CI.
WERROR := $(if $(CI),ON,OFF)

.PHONY: all deps configure build run test test-sanitize soak bench video release release-linux-x86_64 \
	release-linux-aarch64 deb test-release check-reproducible host-tools families family-linux \
	family-windows family-web update-sources-lock test-sources windows test-windows check-reproducible-windows web test-web bench-web \
	clean

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

# The tests that start real processes and servers (and, where they are
# built, the Wine and browser checks), SOAK_RUNS times each (10 unless set),
# while the SDL family builds from an empty cache at nice 19 beside them, as
# in CI; each test's passes are counted (tools/soak.sh).
SOAK_RUNS ?= 10
soak: build
	SOAK_RUNS=$(SOAK_RUNS) tools/soak.sh $(BUILD_DIR)

bench: build
	./$(BUILD_DIR)/vimbel-bench

# The whole demo with its music as a 1080p60 video, rendered off-screen.
video: build
	./$(BUILD_DIR)/vimbel-capture --size 1920x1080 --fps 60 --force $(BUILD_DIR)/vimbel-demo.mp4
	@echo "The video is at $(BUILD_DIR)/vimbel-demo.mp4"

# The release archives, one per architecture: a stripped executable with the
# SDL family built from source linked in (cached by cross/build-family.sh),
# built like the Windows one with the host's asset embedder, put together by
# packaging/make-release.sh.
release: release-linux-x86_64 release-linux-aarch64
release-linux-x86_64 release-linux-aarch64: release-linux-%: host-tools
	@tools/install-deps.sh linux
	family=$$($(call LINUX_FAMILY,$*)) && \
	cmake -S . -B $(LINUX_DIR)-$* -DCMAKE_TOOLCHAIN_FILE=cross/linux-$*.cmake \
		-DCMAKE_BUILD_TYPE=Release -DVIMBEL_SDL_FAMILY="$$family" \
		-DVIMBEL_HOST_BINDATA_GEN=$(HOST_BINDATA_GEN) -DVIMBEL_WERROR=$(WERROR)
	cmake --build $(LINUX_DIR)-$* -j $(JOBS)
	packaging/make-release.sh $(LINUX_DIR)-$* $(DIST_DIR)

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

# Checks the archives and the package (the x86-64 executable here, the ARM64
# one under qemu-user), and that two fresh clones of HEAD build
# byte-identical releases; the tool that compares a recording with the music
# is built beside the host's asset embedder.
LINUX_DIRS = $(LINUX_DIR)-x86_64 $(LINUX_DIR)-aarch64
test-release: release deb
	cmake --build $(HOST_DIR) --target vimbel-music-match-tool -j $(JOBS)
	VIMBEL_MUSIC_MATCH=$(abspath $(HOST_DIR))/vimbel-music-match \
		packaging/test-release.sh all $(DIST_DIR) $(LINUX_DIRS)

check-reproducible: deps
	@tools/install-deps.sh linux
	packaging/test-release.sh reproducible $(DIST_DIR) $(LINUX_DIRS)

# The asset embedder for this machine, which the Windows and browser builds
# run: a native build of it alone.
HOST_DIR ?= build-host
HOST_BINDATA_GEN = $(abspath $(HOST_DIR))/bindata-gen
host-tools: deps
	cmake -S . -B $(HOST_DIR) -DCMAKE_BUILD_TYPE=Release -DVIMBEL_TESTS=OFF \
		-DVIMBEL_BENCHMARKS=OFF >/dev/null
	cmake --build $(HOST_DIR) --target bindata-gen -j $(JOBS)

# The SDL family for the Linux release (x86-64 and ARM64), for Windows and for
# the browser, built from Debian's source packages once and cached outside
# the tree; each command prints its prefix. Debian's emscripten finds its
# JavaScript tools through NODE_PATH, and runs on Debian's Python, not on
# whichever python3 comes first on PATH (a version manager's shim costs a
# process per call, and emcc runs Python for every file and every check).
EMSCRIPTEN_ENV := NODE_PATH=/usr/share/nodejs EMSDK_PYTHON=/usr/bin/python3
LINUX_FAMILY = cross/build-family.sh linux-$(1) cross/linux-$(1).cmake -DVIMBEL_BUILD_ZLIB=ON \
	-DVIMBEL_LINUX=ON
WINDOWS_FAMILY := cross/build-family.sh windows-x86_64 cross/mingw-w64-x86_64.cmake
WEB_FAMILY := $(EMSCRIPTEN_ENV) cross/build-family.sh web-wasm32 cross/emscripten.cmake \
	-DVIMBEL_BUILD_ZLIB=ON
families: family-linux family-windows family-web
family-linux:
	@tools/install-deps.sh linux
	$(call LINUX_FAMILY,x86_64)
	$(call LINUX_FAMILY,aarch64)
family-windows:
	@tools/install-deps.sh windows
	$(WINDOWS_FAMILY)
family-web:
	@tools/install-deps.sh web
	$(WEB_FAMILY)

# Re-pins cross/sources.lock (or SOURCES_LOCK) to the versions Debian's archive
# serves now and shows the change. A changed lock rebuilds every family.
SOURCES_LOCK ?= cross/sources.lock
update-sources-lock:
	cross/update-sources-lock.sh $(SOURCES_LOCK)

# Fetching sources against Debian's archive, with a lock and cache of its own.
test-sources:
	cross/test-sources.sh

# The Windows archive: the SDL family built from source once (cached by
# cross/build-family.sh), the host's asset embedder, the demo cross-built with
# mingw-w64, put together by windows/make-release.sh.
windows: host-tools
	@tools/install-deps.sh windows
	family=$$($(WINDOWS_FAMILY)) && \
	cmake -S . -B $(WINDOWS_DIR)/demo -DCMAKE_TOOLCHAIN_FILE=cross/mingw-w64-x86_64.cmake \
		-DVIMBEL_SDL_FAMILY="$$family" -DVIMBEL_HOST_BINDATA_GEN=$(HOST_BINDATA_GEN) \
		-DVIMBEL_WERROR=$(WERROR)
	cmake --build $(WINDOWS_DIR)/demo -j $(JOBS)
	windows/make-release.sh $(WINDOWS_DIR)/demo $(DIST_DIR)

# Checks the archive and runs the executable under Wine (reproducibility,
# which builds two fresh clones, is check-reproducible-windows); the native
# tool that compares a recording with the music is built beside the host's
# asset embedder.
test-windows: windows
	cmake --build $(HOST_DIR) --target vimbel-music-match-tool -j $(JOBS)
	VIMBEL_MUSIC_MATCH=$(abspath $(HOST_DIR))/vimbel-music-match \
		windows/test-windows.sh run $(WINDOWS_DIR)/demo

# Two fresh clones of HEAD must build identical Windows archives.
check-reproducible-windows:
	@tools/install-deps.sh windows
	windows/test-windows.sh reproducible $(WINDOWS_DIR)/demo

# The browser build: the SDL family built from source for WebAssembly (cached
# by cross/build-family.sh), then the demo and its page in $(WEB_DIR)/site/,
# and the site as an archive for static hosts in $(DIST_DIR).
web: host-tools
	@tools/install-deps.sh web
	family="$$($(WEB_FAMILY))" && \
	$(EMSCRIPTEN_ENV) cmake -S . -B $(WEB_DIR) -DCMAKE_TOOLCHAIN_FILE=cross/emscripten.cmake \
		-DCMAKE_BUILD_TYPE=Release -DVIMBEL_WERROR=$(WERROR) -DVIMBEL_SDL_FAMILY="$$family" \
		-DVIMBEL_HOST_BINDATA_GEN=$(HOST_BINDATA_GEN)
	$(EMSCRIPTEN_ENV) cmake --build $(WEB_DIR) -j $(JOBS)
	web/make-release.sh $(WEB_DIR) $(DIST_DIR)
	@echo "The site is in $(WEB_DIR)/site/. To play it here: node web/serve.js $(WEB_DIR)/site 8000"
	@echo "and open http://127.0.0.1:8000/ (any static web server will do)."

# puppeteer-core and selenium-webdriver from the committed lock file,
# installed into the build tree.
WEB_NODE := $(WEB_DIR)/node
WEB_NODE_ENV = NODE_PATH=$(abspath $(WEB_NODE))/node_modules VIMBEL_SITE=$(abspath $(WEB_DIR))/site
$(WEB_NODE)/node_modules/.package-lock.json: web/test/package.json web/test/package-lock.json
	@tools/install-deps.sh web
	mkdir -p $(WEB_NODE)
	cp web/test/package.json web/test/package-lock.json $(WEB_NODE)/
	cd $(WEB_NODE) && npm ci --no-audit --no-fund --loglevel=error

# The page, served on 127.0.0.1, in Debian's Chromium, Firefox ESR and
# WebKitGTK, each playing into a PulseAudio null sink the tests start (and
# Firefox and WebKit on an Xvfb display of their own). One file at a time.
test-web: web $(WEB_NODE)/node_modules/.package-lock.json
	$(WEB_NODE_ENV) node --test --test-concurrency=1 $(sort $(wildcard web/test/*.test.js))

# Every engine on every screen size: BENCH_WEB_ARGS=firefox for one engine.
bench-web: web $(WEB_NODE)/node_modules/.package-lock.json
	$(WEB_NODE_ENV) node bench/web-bench.js $(BENCH_WEB_ARGS)

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(LINUX_DIRS) $(DEB_DIR) $(HOST_DIR) $(WINDOWS_DIR) $(WEB_DIR) \
		$(DIST_DIR)
