// The demo clock, the load phase, the pending and active lists and the main loop.
#pragma once

#include <cstdint>

struct Section;

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

// The keep rule: whether a section takes part in this run.
bool section_keep(const Section* s);

void clock_reset();
void clock_sync();
void clock_advance();
void load_phase();
void sequence_build();
void frame_run();
void main_loop();
