// The debug overlays, drawn with the system font over the presented picture (after the frame
// was captured for recording, so recordings never show them), and the benchmark score.
#include "runtime/overlay.h"

#include <cstdio>

#include "base/config.h"
#include "base/error.h"
#include "runtime/sequencer.h"
#include "gfx/camera.h"
#include "sections/demo.h"
#include "gfx/font_draw.h"
#include "resources/font.h"
#include "resources/texture.h"
#include "audio/sound_system.h"

void overlay_fps(const Demo& demo) {
    font_print(system_font, "%s", overlay_fps_text(demo.fps_value).c_str());
}

void overlay_timing(const Demo& demo) {
    OverlayStats stats;
    stats.fps = demo.fps_value;
    stats.frame = demo.frame_count;
    stats.second = demo.time;
    stats.end = demo.settings.demo_end;
    // Both sound queries are made whether or not sound is on; they answer 0 without it.
    stats.texture_mb = static_cast<double>(texture_memory_total()) / 1048576.0;
    stats.channels = sound_channels_playing();
    stats.sound_cpu = sound_cpu_usage();
    if (demo.camera != nullptr) {
        stats.has_camera = true;
        stats.position[0] = demo.camera->position.x;
        stats.position[1] = demo.camera->position.y;
        stats.position[2] = demo.camera->position.z;
        stats.target[0] = demo.camera->target.x;
        stats.target[1] = demo.camera->target.y;
        stats.target[2] = demo.camera->target.z;
    }
    font_print(system_font, "%s", overlay_timing_text(stats).c_str());
}

void benchmark_report(int32_t bench, float time, int32_t frames) {
    if (!benchmark_due(bench, time)) return;
    // Shutdown can be entered again from a fatal error raised while it runs; one score is enough.
    static bool shown = false;
    if (shown) return;
    shown = true;

    const std::string text = benchmark_text(benchmark_score(frames, time));
    std::fprintf(stderr, "Benchmark: %s\n", text.c_str());
    std::fflush(stderr);
    dialog_show("Benchmark", text.c_str(), false);
}
