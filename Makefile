# Wraps the CMake build. `make demo`, `make test`, `make bench` install what is missing first.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all bootstrap build demo test bench sanitize fuzz macos selftest clean

all: build

bootstrap:
	@./scripts/bootstrap

# $(call configure,FOLDER,FLAGS) configures FOLDER when it has no build yet or was configured with
# other flags (kept in FOLDER/cmake-flags); afresh, so that a flag taken away is gone too.
quote = '$(subst ','\'',$(1))'
same = $(if $(subst x$(1),,x$(2))$(subst x$(2),,x$(1)),,yes)
configure = $(if $(and $(wildcard $(1)/build.ninja),$(wildcard $(1)/cmake-flags),$(call same,$(file <$(1)/cmake-flags),$(strip $(2)))),\
    @: $(1) is configured with these flags,\
    cmake --fresh -S . -B $(1) -G Ninja $(2) && printf '%s\n' $(call quote,$(strip $(2))) >$(1)/cmake-flags)

build: bootstrap
	$(call configure,$(BUILD),$(CMAKE_FLAGS))
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	@./scripts/demo $(BUILD)/bin

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	@./scripts/bench $(BUILD)

# The self-test (scripts/selftest): on a Mac against its own devices, elsewhere against a
# simulated machine; the log goes to $(BUILD)/selftest.log. YES=1 answers its question.
# A Mac needs no bootstrap: Homebrew's packages are found through its prefix.
SELFTEST = ./scripts/selftest $(BUILD)/bin --log $(BUILD)/selftest.log $(if $(YES),--yes)
ifeq ($(shell uname -s),Darwin)
selftest:
	test -f $(BUILD)/build.ninja || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_PREFIX_PATH="$$(brew --prefix)" $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS) --target sorvane-sound sorvane-tap sorvane-selftest-tool
	$(SELFTEST)
else
selftest: build
	$(SELFTEST)
endif

# The whole suite once under AddressSanitizer with UndefinedBehaviorSanitizer, once under
# ThreadSanitizer; any report fails the run. The programs the tests start inherit these options:
# a report ends them at once with a status of its own (86 ASan and LeakSanitizer, 87 UBSan,
# 88 TSan), which no test accepts, since the programs themselves only ever exit 0 or 1.
SANITIZE_ASAN = ASAN_OPTIONS=detect_leaks=1:exitcode=86 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:exitcode=87
SANITIZE_TSAN = TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:exitcode=88
# Built with clang 19, a Mac's compiler, where the other builds use gcc: the suite compiles with
# both. The benchmarks are left out: nothing runs them there.
SANITIZE_CXX = -DCMAKE_CXX_COMPILER=clang++-19
ASAN_FLAGS = $(SANITIZE_CXX) -DCMAKE_BUILD_TYPE=Debug -DSORVANE_SANITIZE=address,undefined -DSORVANE_BENCH=OFF $(CMAKE_FLAGS)
TSAN_FLAGS = $(SANITIZE_CXX) -DCMAKE_BUILD_TYPE=Debug -DSORVANE_SANITIZE=thread -DSORVANE_BENCH=OFF $(CMAKE_FLAGS)
sanitize:
	@SORVANE_SANITIZE=1 ./scripts/bootstrap
	$(call configure,build-asan,$(ASAN_FLAGS))
	cmake --build build-asan -j $(JOBS)
	cd build-asan && $(SANITIZE_ASAN) ctest --output-on-failure -j $(JOBS)
	$(call configure,build-tsan,$(TSAN_FLAGS))
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && $(SANITIZE_TSAN) ctest --output-on-failure -j $(JOBS)

# libFuzzer targets built with clang, without the tests and benchmarks; each runs FUZZ_SECONDS
# from the seeds in tests/fuzz/corpus.
FUZZ_SECONDS ?= 60
FUZZ_FLAGS = -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSORVANE_FUZZ=ON -DSORVANE_TESTS=OFF $(CMAKE_FLAGS)
fuzz:
	@SORVANE_FUZZ=1 ./scripts/bootstrap
	$(call configure,build-fuzz,$(FUZZ_FLAGS))
	cmake --build build-fuzz -j $(JOBS)
	./scripts/fuzz build-fuzz $(FUZZ_SECONDS)

# The macOS configuration's libraries cross-built here against a macOS SDK folder, for arm64 and
# x86_64, and checked for their minimum OS and the platform symbols they use (scripts/macos-check).
MACOS_SDK ?= $(HOME)/macos-sdk
macos:
	@SORVANE_MACOS=1 ./scripts/bootstrap
	JOBS=$(JOBS) ./scripts/macos-check $(MACOS_SDK) build-macos

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz build-macos
