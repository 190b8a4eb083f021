// The debug overlays (frame-rate line, statistics block) and the benchmark score.
#pragma once

#include <cstdint>
#include <string>

struct Demo;

void overlay_fps(const Demo& demo);
void overlay_timing(const Demo& demo);

// Shows "Score: %.2f" for `frames` drawn over `time` seconds of demo time, after the window
// has closed, when the demo's `bench` setting asks for it (called by player_shutdown).
void benchmark_report(int32_t bench, float time, int32_t frames);

// What the statistics block shows, gathered once per frame.
struct OverlayStats {
    float fps = 0;
    int32_t frame = 0;
    float second = 0;
    float end = 0;
    float sound_cpu = 0;  // percent
    int channels = 0;
    double texture_mb = 0;  // megabytes
    bool has_camera = false;
    float position[3] = {};
    float target[3] = {};
};

// The texts exactly as the overlays print them (before the font's 255-character cut).
std::string overlay_fps_text(float fps_value);
std::string overlay_timing_text(const OverlayStats& stats);

// frame_count / demo_time x 10000 / 60, the count taken as float and the result rounded to
// single precision: about 166.67 times the frames per second of demo time.
float benchmark_score(int32_t frames, float seconds);
// Whether shutdown shows a score: only when asked and after the clock has moved past 0.
bool benchmark_due(int32_t bench_flag, float seconds);
// "Score: %.2f".
std::string benchmark_text(float score);
