# Wraps the CMake build. `make demo`, `make test`, `make bench` install what is missing first.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all bootstrap build demo test bench sanitize fuzz clean

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

# The whole suite once under AddressSanitizer with UndefinedBehaviorSanitizer, once under
# ThreadSanitizer; any report fails the run. The programs the tests start inherit these options:
# a report ends them at once with a status of its own (86 ASan and LeakSanitizer, 87 UBSan,
# 88 TSan), which no test accepts, since the programs themselves only ever exit 0 or 1.
SANITIZE_ASAN = ASAN_OPTIONS=detect_leaks=1:exitcode=86 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:exitcode=87
SANITIZE_TSAN = TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:exitcode=88
sanitize: bootstrap
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSORVANE_SANITIZE=address,undefined $(CMAKE_FLAGS)
	cmake --build build-asan -j $(JOBS)
	cd build-asan && $(SANITIZE_ASAN) ctest --output-on-failure -j $(JOBS)
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSORVANE_SANITIZE=thread $(CMAKE_FLAGS)
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && $(SANITIZE_TSAN) ctest --output-on-failure -j $(JOBS)

# libFuzzer targets built with clang; each runs FUZZ_SECONDS from the seeds in tests/fuzz/corpus.
FUZZ_SECONDS ?= 60
fuzz:
	@SORVANE_FUZZ=1 ./scripts/bootstrap
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSORVANE_FUZZ=ON -DSORVANE_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build build-fuzz -j $(JOBS)
	./scripts/fuzz build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz
