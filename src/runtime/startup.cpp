// The order in which the system comes up and goes down.
#include "runtime/startup.h"

#include <SDL/SDL.h>

#include <cmath>
#include <cstdlib>

#include "runtime/capture.h"
#include "base/error.h"
#include "runtime/overlay.h"
#include "runtime/sequencer.h"
#include "gfx/window.h"
#include "gfx/camera.h"
#include "resources/font.h"
#include "resources/texture.h"
#include "script/section.h"
#include "script/parser.h"
#include "audio/sound_system.h"

void demo_settings_check(const Config& settings) {
    // A recording steps the clock by 1/record_fps: anything but a positive rate would stall or
    // reverse it, and the demo would never end.
    if (settings.record != 0 && !(settings.record_fps > 0.0f)) {
        ErrorPlace place = config_place(settings, "record_fps");
        fatal_error("Invalid record_fps %g", static_cast<double>(settings.record_fps));
    }
    // The tempo counts bars and beats from time 0: 0 means none, anything else must be a rate.
    if (!std::isfinite(settings.bpm) || settings.bpm < 0.0f) {
        ErrorPlace place = config_place(settings, "bpm");
        fatal_error("Invalid bpm %g", static_cast<double>(settings.bpm));
    }
    if (settings.beats_per_bar < 1) {
        ErrorPlace place = config_place(settings, "beats_per_bar");
        fatal_error("Invalid beats_per_bar %d", settings.beats_per_bar);
    }
    // The frame is drawn into the window's back buffer, so it has to fit there. The sizes are
    // settings of their own, and the frame's is the one usually changed.
    std::string problem = window_size_problem(settings.gl_width, settings.gl_height, settings.gl_rttWidth,
                                              settings.gl_rttHeight);
    if (!problem.empty()) {
        const char* names[] = {"gl_rttWidth", "gl_rttHeight", "gl_width", "gl_height"};
        const char* name = names[0];
        for (const char* n : names) {
            if (settings.places.count(n) != 0) {
                name = n;
                break;
            }
        }
        ErrorPlace place = config_place(settings, name);
        fatal_error("%s", problem.c_str());
    }
}

namespace {
// The demo whose figures the benchmark reports, and the figures (and bench setting) of one
// already closed.
const Demo* watched_demo = nullptr;
float closed_time = 0;
int32_t closed_frames = 0;
int32_t closed_bench = 0;
}  // namespace

void benchmark_watch(const Demo* demo) {
    watched_demo = demo;
}

void player_start(Demo& demo, const Config& settings) {
    demo_settings_check(settings);
    record_check_folder(demo.settings.record != 0);

    window_open(settings);
    if (settings.sound != 0) sound_init();
    clock_reset(demo);
    load_phase(demo);
    // A quit during loading ends the program at once, with status 0.
    if (demo.quit) {
        player_shutdown();
        std::exit(0);
    }
    font_require_file();
    font_init(&system_font, font_charmap, 16, 16, FONT_FILE, demo.settings.texture_detail);
    // Time spent loading does not count as demo time.
    clock_sync(demo);
}

void demo_close(std::unique_ptr<Demo>& demo) {
    if (demo == nullptr) return;
    closed_time = demo->time;
    closed_frames = demo->frame_count;
    closed_bench = demo->settings.bench;
    if (watched_demo == demo.get()) watched_demo = nullptr;
    demo.reset();
}

void player_shutdown() {
    // A fatal error raised while shutting down (from the sound layer, say) calls this again.
    static bool running = false;
    if (running) return;
    running = true;
    sound_close();
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    const int32_t bench = watched_demo != nullptr ? watched_demo->settings.bench : closed_bench;
    if (bench != 0) {
        const float time = watched_demo != nullptr ? watched_demo->time : closed_time;
        const int32_t frames = watched_demo != nullptr ? watched_demo->frame_count : closed_frames;
        if (time > 0.0f) benchmark_report(bench, time, frames);
    }
    SDL_Quit();
    running = false;
}
