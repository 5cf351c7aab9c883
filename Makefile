# Two commands on a fresh Debian 12 machine:
#   make run    builds Quillora and starts it
#   make test   builds the test suite (ASan + UBSan) and runs it
# Both first install the Debian packages they need (scripts/install-deps.sh).

BUILD       ?= build
TEST_BUILD  ?= build-test
BENCH_BUILD ?= build-bench
FUZZ_BUILD  ?= build-fuzz
GENERATOR   ?= Ninja

.PHONY: all deps build run test bench fuzz install package clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DQUILLORA_TESTS=OFF
	cmake --build $(BUILD)

run: build
	./$(BUILD)/bin/quillora $(ARGS)

test: deps
	cmake -S . -B $(TEST_BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DQUILLORA_SANITIZE=ON
	cmake --build $(TEST_BUILD)
	cd $(TEST_BUILD) && ctest --output-on-failure -j2 --timeout 900

bench: deps
	cmake -S . -B $(BENCH_BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Release \
	  -DQUILLORA_TESTS=OFF -DQUILLORA_BENCH=ON
	cmake --build $(BENCH_BUILD)
	bash bench/run.sh $(BENCH_BUILD)

# A short, bounded fuzzing run of the JPEG and WAV readers (libFuzzer).
fuzz: deps
	CC=clang CXX=clang++ cmake -S fuzz -B $(FUZZ_BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD)
	bash fuzz/run.sh $(FUZZ_BUILD)

install: build
	cmake --install $(BUILD)

# A Debian package of the release build: $(BUILD)/quillora_VERSION_ARCH.deb
package: build
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD)
