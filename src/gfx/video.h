// The window, the OpenGL context and default state, and the render-to-texture frame:
// sections draw into the lower-left gl_rttWidth x gl_rttHeight rectangle, which is then
// copied into frame_texture and presented letterboxed.
#pragma once

#include <cstdint>

extern int frame_texture;
extern int effect_texture;
extern int32_t present_width;
extern int32_t present_height;

void video_init();
bool gl_extension_supported(const char* name);
void frame_begin();
void frame_present();
void frame_swap();

// The unit square as one triangle strip: (0,0), (0,1), (1,0), (1,1); the textured one gives
// each vertex its own position as texture coordinate.
void fullscreen_quad();
void fullscreen_quad_textured();
