# A thin layer over CMake. `make run` and `make test` install what is missing first.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: run test build deps configure pictures demo bench fuzz load format clean

run: configure
	cmake --build $(BUILD) -j $(JOBS) --target jackwell
	./$(BUILD)/jackwell

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

deps:
	@bash scripts/install-deps.sh

configure: deps
	@if [ ! -f $(BUILD)/build.ninja ]; then \
		cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS); fi

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Benchmarks in a Release build of their own; each prints its figures.
BENCH_BUILD ?= build-bench
bench: deps
	@if [ ! -f $(BENCH_BUILD)/build.ninja ]; then \
		cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
			-DJACKWELL_BENCH=ON -DJACKWELL_TESTS=OFF; fi
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	./$(BENCH_BUILD)/bench/walk_bench

# The fuzz targets with sanitizers, for FUZZ_SECONDS (build-fuzz/, see fuzz/run.sh).
FUZZ_SECONDS ?= 600
fuzz: deps
	bash fuzz/run.sh --seconds $(FUZZ_SECONDS)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)
