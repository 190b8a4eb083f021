// The demo clock, the load phase, the pending and active lists and the main loop.
#pragma once

#include <cstdint>

struct Section;
struct SectionType;

extern float demo_time;
extern float frame_delta;
extern float clock_base;
extern int32_t frame_count;
extern int32_t fps_frames;
extern float fps_time;
extern float fps_value;
extern bool quit_flag;
extern Section* pending_list;
extern Section* active_list;
extern int32_t load_type_count;
extern int32_t load_section_count;
extern int32_t load_step_count;
// Progress of the load phase for the loading screen: steps done / (types + sections), 0 before
// anything is counted.
float load_progress();

// True while the load phase runs (the loading screen presents its own frames only then).
extern bool load_phase_running;
// Set, the load phase shows no loading screen (a demo rebuilt while it plays).
extern bool load_phase_quiet;
// Set, every section takes part whatever demo_start and demo_end say (the maker's mode, where
// any time can be reached by a seek).
extern bool sequence_keep_all;

// The registry the sequencer calls through: section_types, unless a test substitutes a table
// of its own (21 rows, row 0 the loading type).
extern const SectionType* const* sequencer_types;

// The window-facing steps of a frame. They default to the real ones (frame_begin,
// video_frame_save, frame_present, overlay_fps, overlay_timing, frame_swap); tests substitute
// recorders so that the sequencer runs without a window.
struct FrameOutput {
    void (*begin)();
    void (*capture)();
    void (*present)();
    void (*overlay_fps)();
    void (*overlay_timing)();
    void (*swap)();
};
extern FrameOutput frame_output;
FrameOutput frame_output_default();

// The keep rule: whether a section takes part in this run (every section in the maker's mode).
bool section_keep(const Section* s);
// Whether a run started at `from` keeps the section: it starts before demo_end (when set) and
// ends after `from`.
bool section_kept_from(const Section* s, float from);

// Pending list: start time ascending. A section goes in front of the first one that starts at
// or after it, so sections offered in reverse order of parsing keep the order of parsing among
// equal starts.
void pending_insert(Section* s);
void pending_unlink(Section* s);
// Active list: layer ascending, among equal layers the last started first.
void active_insert(Section* s);
void active_unlink(Section* s);

// Loads the section's splines and spreads their keys over their durations (the load phase does it
// for every kept section before any init); errors are placed at the spline lines.
void section_load_splines(Section& s);

void clock_reset();
void clock_sync();
void clock_advance();
void load_phase();
void sequence_build();

// The three steps of a frame that only touch the lists: start what is due, render or stop
// every active section, and the end test (true when the demo is over).
void sections_start_due();
void sections_render_active();
bool sequence_finished();

// The demo's frame, drawn and presented (recorded first when recording), before any overlay.
void frame_draw();
// frame_draw, the overlays, a requested screenshot, the swap and the end test.
void frame_run();
// One frame and one clock step; when the demo ended by itself and `loop` is set, it restarts.
void idle_step();
// clock_reset, sequence_build and clock_sync: the demo plays again from demo_start.
void demo_restart();

// Puts the demo at `t` as a run started there would be at its first frame: every running
// section stops, the ones that end after t wait to start (those already begun start on the next
// frame with their elapsed time), the random numbers such a run draws while loading are drawn
// again, and the clock runs on from t.
void sequence_seek(float t);
// The latest end among all sections (0 without sections).
float sequence_last_end();
void main_loop();
