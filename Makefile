# Set-up and everyday commands. Every target first installs what is missing.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps build test test-asan demo fuzz clean format

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

# The same suite built with AddressSanitizer and UndefinedBehaviorSanitizer. Leak checking covers
# the unit tests; the player runs under X and Mesa, whose own allocations at exit are not ours.
test-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTARVEL_SANITIZE=ON
	cmake --build build-asan -j $(JOBS) --target tarvel tarvel_unit tarvel_e2e
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS) --timeout 600 -LE e2e
	cd build-asan && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j $(JOBS) --timeout 600 -L e2e

demo: build
	@echo "No example demo ships yet."

# Runs every fuzz harness for FUZZ_SECONDS each (default 60); crashes land in tests/regressions/.
fuzz: deps
	scripts/fuzz

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) build-asan build-fuzz
