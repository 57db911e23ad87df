# Wraps the CMake build. `make demo`, `make test`, `make bench` install what is missing first.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all bootstrap build demo test bench clean

all: build

bootstrap:
	@./scripts/bootstrap

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: bootstrap $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	@./scripts/demo $(BUILD)/bin

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	@./scripts/bench $(BUILD)

clean:
	rm -rf $(BUILD)
