# A thin layer over CMake. `make run` and `make test` install what is missing first.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: run test build deps configure pictures demo bench fuzz load package format clean mutants \
	mutants-sample

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

# Breaks the program one listed line at a time (tests/mutants/*.list), rebuilds and runs that
# area's tests, and prints which test caught each fault; ends with a summary line.
mutants: build
	bash scripts/mutants.sh --build $(BUILD)

# Faults nobody chose: N mutants drawn at random from src/ (SEED= repeats a draw, AREA=card
# draws from src/card only, FILE=src/card/card.cpp from that file), each rebuilt and tested
# alone; prints the survivors and a score.
N ?= 40
SEED ?=
AREA ?=
FILE ?=
mutants-sample: build
	python3 scripts/mutants_sample.py --build $(BUILD) -n $(N) $(if $(SEED),--seed $(SEED)) \
		$(if $(AREA),--area $(AREA)) $(if $(FILE),--file $(FILE))

# One scripted game on the real window, offscreen: pictures in $(BUILD)/demo/, the chat text on stdout.
demo: configure
	cmake --build $(BUILD) -j $(JOBS) --target jackwell-demo
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/jackwell-demo $(BUILD)/demo

# The card and the payouts window drawn offscreen into $(BUILD)/pictures/*.png.
pictures: configure
	cmake --build $(BUILD) -j $(JOBS) --target jackwell-pictures
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/jackwell-pictures $(BUILD)/pictures

# Benchmarks in a Release build of their own; each prints its figures and a
# summary line (walk: ..., idle: ..., chat-window: ..., flood: ..., start: ...).
BENCH_BUILD ?= build-bench
# A benchmark that has not ended within BENCH_LIMIT seconds has stopped making progress: it is
# stopped and `make bench` fails, saying which one.
BENCH_LIMIT ?= 900
bounded = scripts/bounded.sh $(BENCH_LIMIT) $(1)
bench: deps
	@if [ ! -f $(BENCH_BUILD)/build.ninja ]; then \
		cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
			-DJACKWELL_BENCH=ON -DJACKWELL_TESTS=OFF; fi
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	$(call bounded,walk) ./$(BENCH_BUILD)/bench/walk_bench
	$(call bounded,idle) env QT_QPA_PLATFORM=offscreen ./$(BENCH_BUILD)/bench/idle/idle_bench
	$(call bounded,chat-window) env QT_QPA_PLATFORM=offscreen ./$(BENCH_BUILD)/bench/chat_window_bench
	$(call bounded,flood) ./$(BENCH_BUILD)/bench/flood_bench --program ./$(BENCH_BUILD)/jackwell
	$(call bounded,statistics) env QT_QPA_PLATFORM=offscreen ./$(BENCH_BUILD)/bench/statistics_bench
	$(call bounded,start) ./$(BENCH_BUILD)/bench/start_bench

# The fuzz targets with sanitizers, for FUZZ_SECONDS (build-fuzz/, see fuzz/run.sh).
FUZZ_SECONDS ?= 600
fuzz: deps
	bash fuzz/run.sh --seconds $(FUZZ_SECONDS)

# The Debian package, from a Release build of its own (build-package/): jackwell_VERSION_ARCH.deb
# in this folder, for `apt install ./jackwell_*.deb`.
PACKAGE_BUILD ?= build-package
package: deps
	@if [ ! -f $(PACKAGE_BUILD)/build.ninja ]; then \
		cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
			-DJACKWELL_TESTS=OFF; fi
	cmake --build $(PACKAGE_BUILD) -j $(JOBS) --target jackwell jackwell-keeper jackwell-install-files
	rm -rf $(PACKAGE_BUILD)/packages
	cd $(PACKAGE_BUILD) && cpack -G DEB -B packages
	cp $(PACKAGE_BUILD)/packages/jackwell_*.deb .
	@ls -l jackwell_*.deb

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)

# The network machinekeeper under load, in a Release build of its own: 100 simulated players
# play 20 games each on a private ngircd, once undisturbed and once with the robot killed
# halfway (with PostgreSQL books, once more with the database stopped for 20 s halfway); each run
# prints a line, the last line sums them up (bench/load/).
LOAD_BUILD ?= build-load
LOAD_FLAGS ?=
load: deps
	@if [ ! -f $(LOAD_BUILD)/build.ninja ]; then \
		cmake -S . -B $(LOAD_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
			-DJACKWELL_LOAD=ON -DJACKWELL_TESTS=OFF; fi
	cmake --build $(LOAD_BUILD) -j $(JOBS) --target jackwell-keeper jackwell-load
	./$(LOAD_BUILD)/jackwell-load --keeper ./$(LOAD_BUILD)/jackwell-keeper $(LOAD_FLAGS)
