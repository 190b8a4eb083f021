// The overlay texts and the benchmark score as numbers and strings; drawing is in overlay.cpp.
#include <cstdarg>
#include <cstdio>

#include "runtime/overlay.h"

namespace {

std::string format_text(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string format_text(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string out;
    if (length > 0) {
        out.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(out.data(), out.size(), format, again);
        out.resize(static_cast<size_t>(length));
    }
    va_end(again);
    return out;
}

}  // namespace

std::string overlay_fps_text(float fps_value) {
    return format_text("fps %.0f", fps_value);
}

std::string overlay_timing_text(const OverlayStats& s) {
    if (!s.has_camera) {
        return format_text(
            "fps %.0f\nframe %d second %.1f/%.1f\nsound %0.1f%% channels %d\ntexture mem %.2fM", s.fps,
            s.frame, s.second, s.end, s.sound_cpu, s.channels, s.texture_mb);
    }
    return format_text(
        "fps %.0f\nframe %d second %.1f/%.1f\nsound %0.1f%% channels %d\ntexture mem %.2fM\n\ncamera "
        "position\nloc x: %5.1f tgt x: %.1f\nloc y: %5.1f tgt y: %.1f\nloc z: %5.1f tgt z: %.1f\n",
        s.fps, s.frame, s.second, s.end, s.sound_cpu, s.channels, s.texture_mb, s.position[0], s.target[0],
        s.position[1], s.target[1], s.position[2], s.target[2]);
}

float benchmark_score(int32_t frames, float seconds) {
    // The quotient is taken in single precision, the scaling in double, then rounded once.
    const float per_second = static_cast<float>(frames) / seconds;
    return static_cast<float>(per_second * 10000.0 / 60.0);
}

bool benchmark_due(int32_t bench_flag, float seconds) {
    return bench_flag != 0 && seconds > 0.0f;
}

std::string benchmark_text(float score) {
    return format_text("Score: %.2f", score);
}
