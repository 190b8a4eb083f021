# Set-up and everyday commands. Every target first installs what is missing.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps build test test-unit test-asan demo video bench soak install fuzz vscode clean format

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

# The fast part alone: the unit tests, no window and no player runs (seconds).
test-unit: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300 -L unit

# The same suite built with AddressSanitizer and UndefinedBehaviorSanitizer. Leak checking covers
# the unit tests; the player runs under X and Mesa, whose own allocations at exit are not ours.
test-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTARVEL_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS) --timeout 600 -LE e2e
	cd build-asan && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j $(JOBS) --timeout 600 -L e2e

# Plays the showcase (examples/showcase) in a window, generating its media first when they are
# missing. Without a display it plays under a virtual X server (no dialogs there), with the
# sound on a dummy device.
demo: build
	@examples/make-media $(BUILD) all
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD)/tarvel examples/showcase; \
	else \
	  echo "No display: playing the showcase under a virtual X server (Xvfb), sound to a dummy device."; \
	  SDL_AUDIODRIVER=$${SDL_AUDIODRIVER:-dummy} examples/with-virtual-display $(BUILD)/tarvel --no-dialog \
	    examples/showcase && echo "The showcase played to its end."; \
	fi

# Exports the showcase with its music into examples/showcase.mp4 (tarvel --video) at VIDEO_FPS
# (30) frames per second. VIDEO_START and VIDEO_END (seconds) cut it short.
VIDEO_FPS ?= 30
VIDEO_START ?= 0
VIDEO_END ?= 0
video: build
	@scripts/install-deps ffmpeg
	@examples/make-media $(BUILD) all
	@VIDEO_FPS=$(VIDEO_FPS) examples/make-video $(BUILD) examples/showcase examples/showcase.mp4 $(VIDEO_START) $(VIDEO_END)

# Runs every benchmark on one private virtual display and prints one table, each figure of the
# player beside its floor (the same work done the plainest way); the table also goes into
# docs/performance.md. Takes several minutes (the showcase is exported once with --video).
bench: build
	@scripts/install-deps ffmpeg
	@examples/make-media $(BUILD) all
	@bench/run $(BUILD)

# Drives the maker's mode on the showcase with random commands and edits for SECONDS (default 600),
# a fresh seed each run; a failure prints the seed, and TARVEL_SOAK_SEED=N replays that run.
SECONDS ?= 600
soak: build
	TARVEL_SOAK_SECONDS=$(SECONDS) $(BUILD)/tarvel_e2e --gtest_filter='MakersModeShowcase.Random*'

# Installs the player and the media generators into PREFIX/bin (default /usr/local), with the
# virtual-display helper as tarvel-virtual-display.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# Runs every fuzz harness for FUZZ_SECONDS each (default 60); crashes land in tests/regressions/.
fuzz: deps
	scripts/fuzz

# Packs the VS Code extension (editors/vscode) into $(BUILD)/tarvel-0.1.0.vsix after its grammar
# test; needs node and npm, and the npm registry or npm's cache.
vscode:
	scripts/package-vscode $(BUILD)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) build-asan build-fuzz
