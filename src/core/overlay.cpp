// The debug overlays, drawn with the system font over the presented picture (after the frame
// was captured for recording, so recordings never show them), and the benchmark score.
#include "core/overlay.h"

#include <cstdio>

#include "base/config.h"
#include "base/error.h"
#include "core/sequencer.h"
#include "gfx/camera.h"
#include "resources/font.h"
#include "resources/texture.h"
#include "audio/sound_system.h"

void overlay_fps() {
    font_print(system_font, "%s", overlay_fps_text(fps_value).c_str());
}

void overlay_timing() {
    OverlayStats stats;
    stats.fps = fps_value;
    stats.frame = frame_count;
    stats.second = demo_time;
    stats.end = demo_end;
    // Both sound queries are made whether or not sound is on; they answer 0 without it.
    stats.texture_mb = static_cast<double>(texture_memory_total()) / 1048576.0;
    stats.channels = sound_channels_playing();
    stats.sound_cpu = sound_cpu_usage();
    if (current_camera != nullptr) {
        stats.has_camera = true;
        stats.position[0] = current_camera->position.x;
        stats.position[1] = current_camera->position.y;
        stats.position[2] = current_camera->position.z;
        stats.target[0] = current_camera->target.x;
        stats.target[1] = current_camera->target.y;
        stats.target[2] = current_camera->target.z;
    }
    font_print(system_font, "%s", overlay_timing_text(stats).c_str());
}

void benchmark_report() {
    if (!benchmark_due(bench, demo_time)) return;
    // Shutdown can be entered again from a fatal error raised while it runs; one score is enough.
    static bool shown = false;
    if (shown) return;
    shown = true;

    const std::string text = benchmark_text(benchmark_score(frame_count, demo_time));
    std::fprintf(stderr, "Benchmark: %s\n", text.c_str());
    std::fflush(stderr);
    dialog_show("Benchmark", text.c_str(), false);
}
