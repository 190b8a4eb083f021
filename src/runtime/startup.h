// Start-up and shutdown of the whole system.
#pragma once

#include <memory>

struct Config;
struct Demo;

// The checks of the settings the scripts assigned, placed at the assignments: the recording
// rate and the sizes of the window and of the frame. No window is needed.
void demo_settings_check(const Config& settings);

// Checks `settings` (the reading of the scripts the demo was read with), brings up video and
// sound (when `sound` is set) with them, the clock, the demo's sections (load phase) and the
// font, then synchronises the clock; the scripts must have been read into the demo. A quit
// during loading ends the program with status 0.
void player_start(Demo& demo, const Config& settings);

// The demo whose time and frame count the benchmark reports if shutdown comes while it plays
// (null: none).
void benchmark_watch(const Demo* demo);

// Destroys a demo that played to its end while the window and sound are still up, keeping its
// figures for the benchmark.
void demo_close(std::unique_ptr<Demo>& demo);

// Closes sound (when it was started), the video subsystem, shows the benchmark box when asked,
// and quits SDL. Safe to call in any state, more than once, and before anything was started.
void player_shutdown();
