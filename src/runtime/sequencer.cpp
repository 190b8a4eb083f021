// The demo clock, the load phase, the pending and active lists and the main loop.
#include "runtime/sequencer.h"

#include <SDL/SDL.h>

#include <cstdlib>
#include <vector>

#include "runtime/capture.h"
#include "runtime/registry.h"
#include "runtime/keys.h"
#include "runtime/overlay.h"
#include "base/random.h"
#include "runtime/startup.h"
#include "base/error.h"
#include "gfx/window.h"
#include "gfx/camera.h"
#include "resources/spline.h"
#include "script/section.h"

FrameOutput frame_output_default() {
    return {frame_begin, record_frame_save, frame_present, overlay_fps, overlay_timing, frame_swap};
}
FrameOutput frame_output = frame_output_default();

namespace {

const SectionType& type_of(const Demo& demo, const Section* s) {
    return *demo.types[s->type];
}

void call(SectionCallback callback, Demo& demo, Section* s) {
    Frame f = demo_frame(demo);
    callback(*s, f);
}

// One waiting window event, if any, goes to the key handler; true when it asks to quit.
bool load_events(Demo& demo) {
    SDL_Event event;
    if (SDL_PollEvent(&event) != 0 && key_event(event, demo.settings)) demo.quit = true;
    return demo.quit;
}

// An init whose errors are placed at the section's header, unless it places them closer.
void call_init(Demo& demo, Section* s) {
    ErrorPlace place = section_at(*s);
    call(type_of(demo, s).init, demo, s);
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

bool section_kept_from(const ShowSettings& settings, const Section* s, float from) {
    return (settings.demo_end == 0.0f || s->start < settings.demo_end) && s->end > from;
}

bool section_keep(const Demo& demo, const Section* s) {
    return demo.keep_all || section_kept_from(demo.settings, s, demo.settings.demo_start);
}

void pending_insert(Demo& demo, Section* s) {
    Section* prev = nullptr;
    Section* at = demo.pending;
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
        demo.pending = s;
    }
}

void pending_unlink(Demo& demo, Section* s) {
    if (s->pending_prev != nullptr) {
        s->pending_prev->pending_next = s->pending_next;
    } else if (demo.pending == s) {
        demo.pending = s->pending_next;
    }
    if (s->pending_next != nullptr) s->pending_next->pending_prev = s->pending_prev;
    s->pending_next = s->pending_prev = nullptr;
}

void active_insert(Demo& demo, Section* s) {
    Section* prev = nullptr;
    Section* at = demo.active;
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
        demo.active = s;
    }
}

void active_unlink(Demo& demo, Section* s) {
    if (s->active_prev != nullptr) {
        s->active_prev->active_next = s->active_next;
    } else if (demo.active == s) {
        demo.active = s->active_next;
    }
    if (s->active_next != nullptr) s->active_next->active_prev = s->active_prev;
    s->active_next = s->active_prev = nullptr;
}

void clock_reset(Demo& demo) {
    demo.time = demo.settings.demo_start;
    demo.frame_count = 0;
    demo.fps_frames = 0;
    demo.delta = 0;
    demo.fps_time = 0;
    demo.fps_value = 0;
    demo.quit = false;
    demo.pending = nullptr;
    demo.active = nullptr;
    random_seed(demo.random, 0, 0);
}

void clock_sync(Demo& demo) {
    demo.clock_base = static_cast<float>(SDL_GetTicks()) * 0.001f;
}

void clock_advance(Demo& demo) {
    float dt;
    if (demo.settings.record != 0) {
        dt = 1.0f / demo.settings.record_fps;
    } else {
        dt = (static_cast<float>(SDL_GetTicks()) * 0.001f - demo.clock_base) + demo.settings.demo_start -
             demo.time;
    }
    demo.delta = dt;
    demo.time += dt;
    demo.fps_frames += 1;
    demo.fps_time += dt;
    if (demo.fps_time > 0.3f) {
        demo.fps_value = static_cast<float>(demo.fps_frames) / demo.fps_time;
        demo.fps_frames = 0;
        demo.fps_time = 0;
    }
    demo.frame_count += 1;
}

void load_phase(Demo& demo) {
    Section* loading = nullptr;
    for (Section* s = demo.sections.head; s != nullptr; s = s->next) {
        if (s->type == SECTION_TYPE_LOADING) {
            loading = s;
            break;
        }
    }
    if (loading == nullptr) fatal_error("Loading section not found");

    demo.loading = true;
    const SectionType& loading_type = *demo.types[0];
    call(loading_type.prepare, demo, loading);
    call_init(demo, loading);
    call(loading_type.start, demo, loading);
    const bool show = !demo.no_loading_screen;

    demo.load_type_count = demo.load_section_count = demo.load_step_count = 0;
    std::vector<bool> type_used(static_cast<size_t>(demo.types.count));

    for (Section* s = demo.sections.head; s != nullptr; s = s->next) {
        if (!section_keep(demo, s)) continue;
        demo.load_section_count += 1;
        if (!type_used[s->type]) {
            type_used[s->type] = true;
            demo.load_type_count += 1;
        }
        section_load_splines(*s);
        s->pending_next = s->pending_prev = s->active_next = s->active_prev = nullptr;
        s->elapsed = 0;
        pending_insert(demo, s);
    }

    for (int row = 1; row < demo.types.count; ++row) {
        if (type_used[row]) {
            call(demo.types[row]->prepare, demo, loading);
            demo.load_step_count += 1;
            if (show) call(loading_type.render, demo, loading);
        }
        if (load_events(demo)) return;
    }

    for (Section* s = demo.pending; s != nullptr; s = s->pending_next) {
        call_init(demo, s);
        demo.load_step_count += 1;
        if (show) call(loading_type.render, demo, loading);
        if (load_events(demo)) return;
    }

    call(loading_type.stop, demo, loading);
    demo.loading = false;
}

namespace {
// Every section back to waiting, none running, and the ones `keep` takes in the pending list.
template <typename Keep>
void pending_refill(Demo& demo, Keep keep) {
    demo.pending = nullptr;
    demo.active = nullptr;
    for (Section* s = demo.sections.head; s != nullptr; s = s->next) {
        s->pending_next = s->pending_prev = s->active_next = s->active_prev = nullptr;
        s->elapsed = 0;
        if (keep(s)) pending_insert(demo, s);
    }
}
}  // namespace

void sequence_build(Demo& demo) {
    pending_refill(demo, [&demo](const Section* s) { return section_keep(demo, s); });
}

void sections_start_due(Demo& demo) {
    while (demo.pending != nullptr && demo.pending->start <= demo.time) {
        Section* s = demo.pending;
        s->elapsed = demo.time - s->start - demo.delta;
        call(type_of(demo, s).start, demo, s);
        active_insert(demo, s);
        pending_unlink(demo, s);
    }
}

namespace {
template <typename Draw>
void sections_step_active(Demo& demo, Draw draw) {
    Frame f = demo_frame(demo);
    Section* s = demo.active;
    while (s != nullptr) {
        s->elapsed += demo.delta;
        if (s->end >= demo.time) {
            draw(type_of(demo, s), *s, f);
            s = s->active_next;
        } else {
            Section* next = s->active_next;
            active_unlink(demo, s);
            type_of(demo, s).stop(*s, f);
            s = next;
        }
    }
}
}  // namespace

void sections_render_active(Demo& demo) {
    sections_step_active(demo, [](const SectionType& type, Section& s, Frame& f) { type.render(s, f); });
}

void sections_skip_active(Demo& demo) {
    sections_step_active(demo, [](const SectionType& type, Section& s, Frame& f) {
        if (type.skip != nullptr) type.skip(s, f);
    });
}

bool sequence_finished(const Demo& demo) {
    if (demo.pending == nullptr && demo.active == nullptr) return true;
    return demo.settings.demo_end > 0.0f && demo.time > demo.settings.demo_end;
}

void frame_draw(Demo& demo) {
    sections_start_due(demo);
    if (frame_output.draws != nullptr && !frame_output.draws(demo)) {
        sections_skip_active(demo);
        return;
    }
    frame_output.begin();
    demo.camera = nullptr;
    sections_render_active(demo);
    if (demo.settings.record != 0) frame_output.capture(demo);
    frame_output.present();
}

void frame_run(Demo& demo) {
    frame_draw(demo);
    if (demo.settings.fps != 0) {
        frame_output.overlay_fps(demo);
    } else if (demo.settings.timing != 0) {
        frame_output.overlay_timing(demo);
    }
    screenshot_take_requested(demo.settings.compress_tga != 0);
    frame_output.swap();
    if (sequence_finished(demo)) demo.quit = true;
}

void demo_restart(Demo& demo) {
    clock_reset(demo);
    sequence_build(demo);
    clock_sync(demo);
}

void sequence_seek(Demo& demo, float t) {
    for (Section* s = demo.active; s != nullptr;) {
        Section* next = s->active_next;
        active_unlink(demo, s);
        call(type_of(demo, s).stop, demo, s);
        s = next;
    }
    // Everything still to come at t waits, in load order (past demo_end too: a seek may go there).
    pending_refill(demo, [t](const Section* s) { return s->end > t; });
    demo.time = t;
    demo.delta = 0;
    // The random numbers a run started at t would have drawn while loading: from the seed, by
    // the sections it keeps, in the order it loads them.
    random_seed(demo.random, 0, 0);
    for (Section* s = demo.pending; s != nullptr; s = s->pending_next) {
        const SectionType& type = type_of(demo, s);
        if (type.redraw != nullptr && section_kept_from(demo.settings, s, t)) call(type.redraw, demo, s);
    }
    demo.clock_base = static_cast<float>(SDL_GetTicks()) * 0.001f - (t - demo.settings.demo_start);
}

float sequence_last_end(const Demo& demo) {
    float last = 0;
    for (const Section* s = demo.sections.head; s != nullptr; s = s->next)
        if (s->end > last) last = s->end;
    return last;
}

void frame_step(Demo& demo) {
    frame_run(demo);
    clock_advance(demo);
    if (demo.quit && demo.settings.loop != 0) demo_restart(demo);
}

void main_loop(Demo& demo) {
    while (!demo.quit) {
        SDL_Event event;
        if (SDL_PollEvent(&event) != 0) {
            if (key_event(event, demo.settings)) demo.quit = true;
        } else {
            frame_step(demo);
        }
    }
}
