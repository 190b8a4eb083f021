// The order in which the system comes up and goes down.
#include "core/startup.h"

#include <SDL/SDL.h>

#include "core/capture.h"
#include "base/config.h"
#include "base/error.h"
#include "core/overlay.h"
#include "core/sequencer.h"
#include "gfx/video.h"
#include "gfx/camera.h"
#include "resources/font.h"
#include "resources/mesh.h"
#include "resources/texture.h"
#include "script/section.h"
#include "script/parser.h"
#include "audio/sound_system.h"

void demo_settings_check() {
    // A recording steps the clock by 1/record_fps: anything but a positive rate would stall or
    // reverse it, and the demo would never end.
    if (record != 0 && !(record_fps > 0.0f)) {
        ErrorPlace place = config_place("record_fps");
        fatal_error("Invalid record_fps %g", static_cast<double>(record_fps));
    }
    // The frame is drawn into the window's back buffer, so it has to fit there. The sizes are
    // settings of their own, and the frame's is the one usually changed.
    std::string problem = video_size_problem(gl_width, gl_height, gl_rttWidth, gl_rttHeight);
    if (!problem.empty()) {
        const char* names[] = {"gl_rttWidth", "gl_rttHeight", "gl_width", "gl_height"};
        const char* name = names[0];
        for (const char* n : names) {
            if (config_places().count(n) != 0) {
                name = n;
                break;
            }
        }
        ErrorPlace place = config_place(name);
        fatal_error("%s", problem.c_str());
    }
}

void demo_init() {
    demo_settings_check();
    record_check_folder();

    video_init();
    if (sound != 0) sound_init();
    clock_reset();
    load_phase();
    font_require_file();
    font_init(&system_font, font_charmap, 16, 16, FONT_FILE);
    // Time spent loading does not count as demo time.
    clock_sync();
}

void demo_unload(int keep_textures) {
    pending_list = nullptr;
    active_list = nullptr;
    // Records first: a music stream leaves the mixer before its file data goes.
    section_data_release_all();
    section_list_clear();
    camera_storage_release();
    mesh_storage_release();
    texture_table_truncate(keep_textures);
}

void demo_shutdown() {
    // A fatal error raised while shutting down (from the sound layer, say) calls this again.
    static bool running = false;
    if (running) return;
    running = true;
    if (sound != 0) sound_close();
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (bench != 0 && demo_time > 0.0f) benchmark_report();
    SDL_Quit();
    running = false;
}
