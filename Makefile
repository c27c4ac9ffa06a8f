# A thin layer over CMake. `make run` and `make test` install what is missing first.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: run test build deps configure pictures demo bench bench-idle fuzz load format clean

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

# One scripted game on the real window, offscreen: pictures in $(BUILD)/demo/, the chat text on stdout.
demo: configure
	cmake --build $(BUILD) -j $(JOBS) --target jackwell-demo
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/jackwell-demo $(BUILD)/demo

# The card and the payouts window drawn offscreen into $(BUILD)/pictures/*.png.
pictures: configure
	cmake --build $(BUILD) -j $(JOBS) --target jackwell-pictures
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/jackwell-pictures $(BUILD)/pictures

# CPU use while START waits for the chat and during the evaluation's wait, and
# the reels' stop times on the real clock (about 25 s).
bench-idle: configure
	cmake -S . -B $(BUILD) -DJACKWELL_BENCH_IDLE=ON > /dev/null
	cmake --build $(BUILD) -j $(JOBS) --target idle_bench
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/bench/idle/idle_bench

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)
