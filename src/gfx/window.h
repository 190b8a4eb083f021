// The window, the OpenGL context and default state, and the render-to-texture frame:
// sections draw into the lower-left gl_rttWidth x gl_rttHeight rectangle, which is then
// copied into frame_texture and presented letterboxed.
#pragma once

#include <cstdint>
#include <string>

#include "base/config.h"

extern int frame_texture;
extern int effect_texture;
extern int32_t present_width;
extern int32_t present_height;

// The window's settings and the sound device's, fixed when window_open opens the window: a later
// read of the scripts changes none of them, as nothing reads its value. The defaults before.
const WindowSettings& window_settings();

// Opens the window with `settings`, which stay fixed from then on (window_settings()).
void window_open(const WindowSettings& settings);
void frame_begin();
void frame_present();
// Shows the last presented frame again (frame_texture) without drawing a new one: the maker's
// mode while paused, broken or answering a screenshot.
void frame_present_again();
void frame_swap();

// The unit square as one triangle strip: (0,0), (0,1), (1,0), (1,1); the textured one gives
// each vertex its own position as texture coordinate.
void fullscreen_quad();
void fullscreen_quad_textured();

// Copies the frame drawn so far (the render-to-texture rectangle) into the bound texture.
void frame_copy_to_texture();

// The letterbox band for a window: 16:9 when panoramic, else 4:3; the height is gl_width divided
// by the single-precision aspect, in double, rounded to the nearest row; y centres the band
// vertically. A video export reads this band back from the window.
struct PresentBand {
    float aspect;
    int32_t width;
    int32_t height;
    int32_t y;
};
PresentBand present_band(int32_t window_width, int32_t window_height, bool panoramic);

// Whether a window can be had: DISPLAY or WAYLAND_DISPLAY set, or a video driver chosen through
// SDL_VIDEODRIVER.
bool display_available();

// The message that refuses a window or frame size, or "" when the sizes are usable: both sizes
// positive and the frame no larger than the window, whose back buffer holds it.
std::string window_size_problem(int32_t window_width, int32_t window_height, int32_t frame_width,
                                int32_t frame_height);
