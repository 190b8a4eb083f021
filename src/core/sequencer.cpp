// The demo clock, the load phase, the pending and active lists and the main loop.
#include "core/sequencer.h"

#include <SDL/SDL.h>

#include <cstdlib>

#include "core/capture.h"
#include "base/config.h"
#include "core/keys.h"
#include "core/overlay.h"
#include "base/random.h"
#include "core/startup.h"
#include "base/error.h"
#include "gfx/video.h"
#include "gfx/camera.h"
#include "resources/spline.h"
#include "script/section.h"

float demo_time = 0;
float frame_delta = 0;
float clock_base = 0;
int32_t frame_count = 0;
int32_t fps_frames = 0;
float fps_time = 0;
float fps_value = 0;
bool quit_flag = false;
Section* pending_list = nullptr;
Section* active_list = nullptr;
int32_t load_type_count = 0;
int32_t load_section_count = 0;
int32_t load_step_count = 0;
bool load_phase_running = false;
bool load_phase_quiet = false;
bool sequence_keep_all = false;

const SectionType* const* sequencer_types = section_types;

FrameOutput frame_output_default() {
    return {frame_begin, video_frame_save, frame_present, overlay_fps, overlay_timing, frame_swap};
}
FrameOutput frame_output = frame_output_default();

namespace {

const SectionType& type_of(const Section* s) {
    return *sequencer_types[s->type];
}

void call(SectionCallback callback, Section* s) {
    current_section = s;
    callback();
}

// One waiting window event, if any, goes to the key handler; a quit during loading ends the
// program at once, with status 0.
void load_events() {
    SDL_Event event;
    if (SDL_PollEvent(&event) != 0) key_event(event);
    if (quit_flag) {
        demo_shutdown();
        std::exit(0);
    }
}

// An init whose errors are placed at the section's header, unless it places them closer.
void call_init(Section* s) {
    ErrorPlace place = section_at(*s);
    call(type_of(s).init, s);
}

}  // namespace

void section_load_splines(Section& s) {
    for (int i = 0; i < s.spline_count; ++i) {
        ErrorPlace place = section_at_spline(s, i);
        Spline* spline = spline_load(s.spline_names[i].c_str());
        spline_set_duration(spline, s.spline_durations[i]);
        delete s.splines[i];
        s.splines[i] = spline;
    }
}

float load_progress() {
    int32_t total = load_type_count + load_section_count;
    if (total <= 0) return 0.0f;
    return static_cast<float>(load_step_count) / static_cast<float>(total);
}

bool section_kept_from(const Section* s, float from) {
    return (demo_end == 0.0f || s->start < demo_end) && s->end > from;
}

bool section_keep(const Section* s) {
    return sequence_keep_all || section_kept_from(s, demo_start);
}

void pending_insert(Section* s) {
    Section* prev = nullptr;
    Section* at = pending_list;
    while (at != nullptr && at->start < s->start) {
        prev = at;
        at = at->pending_next;
    }
    s->pending_prev = prev;
    s->pending_next = at;
    if (at != nullptr) at->pending_prev = s;
    if (prev != nullptr) {
        prev->pending_next = s;
    } else {
        pending_list = s;
    }
}

void pending_unlink(Section* s) {
    if (s->pending_prev != nullptr) {
        s->pending_prev->pending_next = s->pending_next;
    } else if (pending_list == s) {
        pending_list = s->pending_next;
    }
    if (s->pending_next != nullptr) s->pending_next->pending_prev = s->pending_prev;
    s->pending_next = s->pending_prev = nullptr;
}

void active_insert(Section* s) {
    Section* prev = nullptr;
    Section* at = active_list;
    while (at != nullptr && at->layer < s->layer) {
        prev = at;
        at = at->active_next;
    }
    s->active_prev = prev;
    s->active_next = at;
    if (at != nullptr) at->active_prev = s;
    if (prev != nullptr) {
        prev->active_next = s;
    } else {
        active_list = s;
    }
}

void active_unlink(Section* s) {
    if (s->active_prev != nullptr) {
        s->active_prev->active_next = s->active_next;
    } else if (active_list == s) {
        active_list = s->active_next;
    }
    if (s->active_next != nullptr) s->active_next->active_prev = s->active_prev;
    s->active_next = s->active_prev = nullptr;
}

void clock_reset() {
    demo_time = demo_start;
    frame_count = 0;
    fps_frames = 0;
    frame_delta = 0;
    fps_time = 0;
    fps_value = 0;
    quit_flag = false;
    pending_list = nullptr;
    active_list = nullptr;
    random_seed(0, 0);
}

void clock_sync() {
    clock_base = static_cast<float>(SDL_GetTicks()) * 0.001f;
}

void clock_advance() {
    float dt;
    if (record != 0) {
        dt = 1.0f / record_fps;
    } else {
        dt = (static_cast<float>(SDL_GetTicks()) * 0.001f - clock_base) + demo_start - demo_time;
    }
    frame_delta = dt;
    demo_time += dt;
    fps_frames += 1;
    fps_time += dt;
    if (fps_time > 0.3f) {
        fps_value = static_cast<float>(fps_frames) / fps_time;
        fps_frames = 0;
        fps_time = 0;
    }
    frame_count += 1;
}

void load_phase() {
    Section* loading = nullptr;
    for (Section* s = section_list; s != nullptr; s = s->next) {
        if (s->type == 0) {
            loading = s;
            break;
        }
    }
    if (loading == nullptr) fatal_error("Loading section not found");

    load_phase_running = true;
    const SectionType& loading_type = *sequencer_types[0];
    call(loading_type.prepare, loading);
    call_init(loading);
    call(loading_type.start, loading);
    const bool show = !load_phase_quiet;

    load_type_count = load_section_count = load_step_count = 0;
    bool type_used[SECTION_TYPE_COUNT] = {};

    for (Section* s = section_list; s != nullptr; s = s->next) {
        if (!section_keep(s)) continue;
        load_section_count += 1;
        if (!type_used[s->type]) {
            type_used[s->type] = true;
            load_type_count += 1;
        }
        section_load_splines(*s);
        s->pending_next = s->pending_prev = s->active_next = s->active_prev = nullptr;
        s->elapsed = 0;
        pending_insert(s);
    }

    for (int row = 1; row < SECTION_TYPE_COUNT; ++row) {
        if (type_used[row]) {
            call(sequencer_types[row]->prepare, loading);
            load_step_count += 1;
            if (show) call(loading_type.render, loading);
        }
        load_events();
    }

    for (Section* s = pending_list; s != nullptr; s = s->pending_next) {
        call_init(s);
        load_step_count += 1;
        if (show) call(loading_type.render, loading);
        load_events();
    }

    call(loading_type.stop, loading);
    load_phase_running = false;
}

namespace {
// Every section back to waiting, none running, and the ones `keep` takes in the pending list.
template <typename Keep>
void pending_refill(Keep keep) {
    pending_list = nullptr;
    active_list = nullptr;
    for (Section* s = section_list; s != nullptr; s = s->next) {
        s->pending_next = s->pending_prev = s->active_next = s->active_prev = nullptr;
        s->elapsed = 0;
        if (keep(s)) pending_insert(s);
    }
}
}  // namespace

void sequence_build() {
    pending_refill(section_keep);
}

void sections_start_due() {
    while (pending_list != nullptr && pending_list->start <= demo_time) {
        Section* s = pending_list;
        s->elapsed = demo_time - s->start - frame_delta;
        call(type_of(s).start, s);
        active_insert(s);
        pending_unlink(s);
    }
}

void sections_render_active() {
    Section* s = active_list;
    while (s != nullptr) {
        s->elapsed += frame_delta;
        if (s->end >= demo_time) {
            call(type_of(s).render, s);
            s = s->active_next;
        } else {
            Section* next = s->active_next;
            active_unlink(s);
            call(type_of(s).stop, s);
            s = next;
        }
    }
}

bool sequence_finished() {
    if (pending_list == nullptr && active_list == nullptr) return true;
    return demo_end > 0.0f && demo_time > demo_end;
}

void frame_draw() {
    sections_start_due();
    frame_output.begin();
    current_camera = nullptr;
    sections_render_active();
    if (record != 0) frame_output.capture();
    frame_output.present();
}

void frame_run() {
    frame_draw();
    if (fps != 0) {
        frame_output.overlay_fps();
    } else if (timing != 0) {
        frame_output.overlay_timing();
    }
    screenshot_take_requested();
    frame_output.swap();
    if (sequence_finished()) quit_flag = true;
}

void demo_restart() {
    clock_reset();
    sequence_build();
    clock_sync();
}

void sequence_seek(float t) {
    for (Section* s = active_list; s != nullptr;) {
        Section* next = s->active_next;
        active_unlink(s);
        call(type_of(s).stop, s);
        s = next;
    }
    // Everything still to come at t waits, in load order (past demo_end too: a seek may go there).
    pending_refill([t](const Section* s) { return s->end > t; });
    demo_time = t;
    frame_delta = 0;
    // The random numbers a run started at t would have drawn while loading: from the seed, by
    // the sections it keeps, in the order it loads them.
    random_seed(0, 0);
    for (Section* s = pending_list; s != nullptr; s = s->pending_next) {
        const SectionType& type = type_of(s);
        if (type.redraw != nullptr && section_kept_from(s, t)) call(type.redraw, s);
    }
    clock_base = static_cast<float>(SDL_GetTicks()) * 0.001f - (t - demo_start);
}

float sequence_last_end() {
    float last = 0;
    for (const Section* s = section_list; s != nullptr; s = s->next)
        if (s->end > last) last = s->end;
    return last;
}

void idle_step() {
    frame_run();
    clock_advance();
    if (quit_flag && loop != 0) demo_restart();
}

void main_loop() {
    while (!quit_flag) {
        SDL_Event event;
        if (SDL_PollEvent(&event) != 0) {
            key_event(event);
        } else {
            idle_step();
        }
    }
}
