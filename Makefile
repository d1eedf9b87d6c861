# The two commands: `make run` and `make test`. Also `make bench` and `make fuzz`.
BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_BENCH?= build-bench
BUILD_FUZZ ?= build-fuzz
JOBS       ?= $(shell nproc)
ARGS       ?=
FUZZ_SECONDS ?= 5

.PHONY: all run test bench fuzz deps build build-asan clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKEST_TESTS=OFF

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/kestplay $(ARGS)

$(BUILD_ASAN)/build.ninja:
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEST_SANITIZE=ON \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g"

build-asan: deps $(BUILD_ASAN)/build.ninja
	cmake --build $(BUILD_ASAN) -j $(JOBS)

test: build-asan
	cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy ctest --output-on-failure -j $(JOBS)

$(BUILD_BENCH)/build.ninja:
	cmake -S . -B $(BUILD_BENCH) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKEST_TESTS=OFF -DKEST_BENCH=ON

bench: deps $(BUILD_BENCH)/build.ninja
	cmake --build $(BUILD_BENCH) -j $(JOBS)
	./$(BUILD_BENCH)/tests/bench/kest_bench --benchmark_min_time=0.2 | python3 scripts/bench-ratios.py

$(BUILD_FUZZ)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKEST_FUZZ=ON -DKEST_TESTS=OFF

fuzz: deps $(BUILD_FUZZ)/build.ninja
	cmake --build $(BUILD_FUZZ) -j $(JOBS)
	@set -e; for t in $(BUILD_FUZZ)/tests/fuzz/fuzz_*; do \
	  [ -x "$$t" ] || continue; name=$$(basename $$t); \
	  mkdir -p $(BUILD_FUZZ)/corpus/$$name; \
	  echo "== $$name ($(FUZZ_SECONDS) s)"; \
	  "$$t" -max_total_time=$(FUZZ_SECONDS) -print_final_stats=0 $(BUILD_FUZZ)/corpus/$$name tests/fuzz/seeds/$$name 2>&1 | tail -n 3; \
	done

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_BENCH) $(BUILD_FUZZ)
