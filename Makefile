# Set-up and everyday commands. Every target first installs what is missing.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps build test demo fuzz clean format

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

demo: build
	@echo "No example demo ships yet."

# Runs every fuzz harness for FUZZ_SECONDS each (default 60); crashes land in tests/regressions/.
fuzz: deps
	scripts/fuzz

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) build-fuzz
