# The two commands of the README: `make run` and `make test`. Both install any
# missing Debian packages first, then configure and build with CMake.

BUILD_DIR ?= build
SANITIZE_DIR ?= build-sanitize
JOBS ?= $(shell nproc)
# Warnings are errors in CI.
WERROR := $(if $(CI),ON,OFF)

.PHONY: all deps configure build run test test-sanitize bench video clean

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

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR)
