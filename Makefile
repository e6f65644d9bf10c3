# Front door of the build: installs what is missing, configures with CMake and Ninja, runs.
#   make demo    build and run the demonstration
#   make test    build and run the whole test suite
#   make bench   release build, every benchmark, bench/REPORT.md
#   make fuzz    every fuzz target for FUZZ_SECONDS (60) seconds each, with sanitizers
#   make install PREFIX=/usr/local

BUILD      ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_ARGS ?=
PREFIX     ?= /usr/local
JOBS       ?= $(shell nproc)

# Debian packages the build, the tests and the benchmarks need.
PACKAGES = cmake ninja-build g++ pkg-config libicu-dev libpugixml-dev liblog4cxx-dev \
           libsqlite3-dev libinih-dev libgtest-dev libgmock-dev libbenchmark-dev \
           libspdlog-dev libboost-dev
FUZZ_PACKAGES = clang libclang-rt-14-dev
# Only for make bench: Debian's Python runs bench/report.py, gnuplot draws the plot.
BENCH_PACKAGES = python3 gnuplot-nox

.PHONY: all deps fuzz-deps configure build test demo bench fuzz install clean

all: build

# Installs only what is missing, and only where apt-get can be used.
deps:
	@missing=$$(for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing missing packages:" $$missing; \
	    SUDO=$$( [ "$$(id -u)" -eq 0 ] || echo sudo ); \
	    $$SUDO apt-get update -qq && \
	    DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	fi

fuzz-deps:
	@$(MAKE) --no-print-directory deps PACKAGES="$(FUZZ_PACKAGES)"

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Sanitizer runtimes abort on an impossible allocation where the library promises
# std::bad_alloc (a test checks it); options already set in the environment win.
test: build
	ASAN_OPTIONS="$${ASAN_OPTIONS:-allocator_may_return_null=1}" \
	TSAN_OPTIONS="$${TSAN_OPTIONS:-allocator_may_return_null=1}" \
	    ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

demo: build
	$(BUILD)/bin/aut demo

# Release build of its own, every benchmark with repetitions, then bench/REPORT.md and the plot.
bench: deps
	@$(MAKE) --no-print-directory deps PACKAGES="$(BENCH_PACKAGES)"
	cmake -S . -B build-bench-rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DAUT_BUILD_TESTS=OFF \
	    -DAUT_BUILD_BENCH=ON $(CMAKE_ARGS)
	cmake --build build-bench-rel -j $(JOBS)
	bench/run.sh build-bench-rel

fuzz: deps fuzz-deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DAUT_BUILD_FUZZ=ON -DAUT_SANITIZE=ON -DAUT_BUILD_TESTS=OFF -DAUT_BUILD_BENCH=OFF
	cmake --build build-fuzz -j $(JOBS)
	fuzz/run.sh build-fuzz $${FUZZ_SECONDS:-60}

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) build-bench-rel build-fuzz build-asan build-tsan
