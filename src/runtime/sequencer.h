// The demo clock, the load phase, the pending and active lists and the main loop, over one Demo.
#pragma once

#include <cstdint>

#include "sections/demo.h"

// The window-facing steps of a frame. They default to the real ones (frame_begin,
// record_frame_save, frame_present, overlay_fps, overlay_timing, frame_swap); tests substitute
// recorders so that the sequencer runs without a window.
struct FrameOutput {
    void (*begin)();
    void (*capture)(const Demo& demo);
    void (*present)();
    void (*overlay_fps)(const Demo& demo);
    void (*overlay_timing)(const Demo& demo);
    void (*swap)();
    // Whether the frame at the demo's time is drawn; null draws every frame. A frame not drawn
    // is still stepped: what is due starts, what ended stops, and each running section's skip
    // callback runs in place of its render (the warm-up before an exported span).
    bool (*draws)(const Demo& demo) = nullptr;
};
extern FrameOutput frame_output;
FrameOutput frame_output_default();

// The keep rule: whether a section takes part in this run (every section in the maker's mode).
bool section_keep(const Demo& demo, const Section* s);
// Whether a run started at `from` keeps the section: it starts before the settings' demo_end
// (when set) and ends after `from`.
bool section_kept_from(const ShowSettings& settings, const Section* s, float from);

// Pending list: start time ascending. A section goes in front of the first one that starts at
// or after it, so sections offered in reverse order of parsing keep the order of parsing among
// equal starts.
void pending_insert(Demo& demo, Section* s);
void pending_unlink(Demo& demo, Section* s);
// Active list: layer ascending, among equal layers the last started first.
void active_insert(Demo& demo, Section* s);
void active_unlink(Demo& demo, Section* s);

// Loads the section's splines and spreads their keys over their durations (the load phase does it
// for every kept section before any init); errors are placed at the spline lines.
void section_load_splines(Section& s);

void clock_reset(Demo& demo);
void clock_sync(Demo& demo);
void clock_advance(Demo& demo);
// The load phase. A quit asked for meanwhile (a window event) ends it early with demo.quit set.
void load_phase(Demo& demo);
void sequence_build(Demo& demo);

// The three steps of a frame that only touch the lists: start what is due, render or stop
// every active section, and the end test (true when the demo is over).
void sections_start_due(Demo& demo);
void sections_render_active(Demo& demo);
bool sequence_finished(const Demo& demo);
// sections_render_active for a frame that is not drawn: the skip callbacks instead of render.
void sections_skip_active(Demo& demo);

// The demo's frame, drawn and presented (recorded first when recording), before any overlay.
void frame_draw(Demo& demo);
// frame_draw, the overlays, a requested screenshot, the swap and the end test.
void frame_run(Demo& demo);
// One frame and one clock step; when the demo ended by itself and `loop` is set, it restarts.
void frame_step(Demo& demo);
// clock_reset, sequence_build and clock_sync: the demo plays again from demo_start.
void demo_restart(Demo& demo);

// Puts the demo at `t` as a run started there would be at its first frame: every running
// section stops, the ones that end after t wait to start (those already begun start on the next
// frame with their elapsed time), the random numbers such a run draws while loading are drawn
// again, and the clock runs on from t.
void sequence_seek(Demo& demo, float t);
// The latest end among all sections (0 without sections).
float sequence_last_end(const Demo& demo);
void main_loop(Demo& demo);
