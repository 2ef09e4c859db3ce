# Entry points: `make test` and `make run` (see README.md).
BUILD   ?= build
TSAN    ?= build-tsan
ASAN    ?= build-asan
JOBS    ?= $(shell nproc)
CONFIG   = cmake -S . -G Ninja -DCMAKE_BUILD_TYPE=Debug
# CI builds every test once and debugs none of them: line tables are all its failure reports and
# stack traces need, and they build the debug tree about a tenth quicker than full debug information.
ifeq ($(CI),true)
CONFIG  += -DCMAKE_C_FLAGS_DEBUG=-g1 -DCMAKE_CXX_FLAGS_DEBUG=-g1
endif

FUZZ_SECONDS ?= 60
# Every test run fails when it finds no test: a label or tree that matched nothing has checked nothing.
CTEST    = ctest --output-on-failure --no-tests=error -j $(JOBS)

.PHONY: test run tsan asan bench fuzz deps configure asan-configure

deps:
	@scripts/ensure-packages

configure: deps
	@$(CONFIG) -B $(BUILD) >/dev/null

test: configure
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && $(CTEST)

# Builds the application and what it links (no tests), then starts it from the build tree (it finds
# its bundle there).
run: configure
	cmake --build $(BUILD) -j $(JOBS) --target velloran
	$(BUILD)/Velloran/app/velloran

# Thread-sanitizer build of the tests that exercise real threads (ctest label "tsan"), with clang
# like the address-sanitizer tree: it builds these unoptimised trees about a quarter quicker.
tsan: deps
	@$(CONFIG) -B $(TSAN) -DVELLORAN_SANITIZER=thread -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	cmake --build $(TSAN) -j $(JOBS) --target tsan_tests
	cd $(TSAN) && $(CTEST) -L tsan

# Address- and undefined-behaviour-sanitizer run of every test but the pure widget tests (ctest
# label "widgets"): what reads outside bytes, shares memory between threads or runs the app.
asan: asan-configure
	cmake --build $(ASAN) -j $(JOBS) --target asan_tests
	cd $(ASAN) && $(CTEST)

# Benchmarks in an optimized build; they report figures and never fail the test run.
bench: deps
	@cmake -S . -G Ninja -DCMAKE_BUILD_TYPE=Release -B build-bench >/dev/null
	cmake --build build-bench -j $(JOBS) --target benchmarks
	@for b in build-bench/bench/*_bench; do echo "== $$b"; $$b; done

# The fuzz targets (fuzz/) with libFuzzer under both sanitizers, each run for FUZZ_SECONDS from its
# seeds; a crash or a broken check fails the run.
fuzz: asan-configure
	cmake --build $(ASAN) -j $(JOBS) --target fuzzers
	fuzz/run-fuzzers $(ASAN) $(FUZZ_SECONDS)

# The tree of `make asan` and `make fuzz`, so the libraries are built once for both: clang, light
# optimisation with line tables only - quick to build, fast enough to fuzz, assertions on, stack
# traces readable.
ASAN_OPT = -O1
# CI fuzzes each target for a few seconds only, a smoke run that -O1's speed buys little for, and
# builds the tree unoptimised in about two thirds of the time; the sanitizers check the same.
ifeq ($(CI),true)
ASAN_OPT = -O0
endif
asan-configure: deps
	@cmake -S . -G Ninja -DCMAKE_BUILD_TYPE= -DCMAKE_C_FLAGS="$(ASAN_OPT) -gline-tables-only" \
		-DCMAKE_CXX_FLAGS="$(ASAN_OPT) -gline-tables-only" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
		-DVELLORAN_SANITIZER=address -B $(ASAN) >/dev/null
