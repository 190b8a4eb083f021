// Debug aids, active only when `debug` is set: free flight with the mouse and the keys, and the
// axes drawn at the origin.
#pragma once

#include "gfx/camera.h"

// The speeds of a free flight in units per second, kept between frames (by the demo flown).
struct FreeFlight {
    float forward_speed = 0;
    float side_speed = 0;
};

// Debug free flight with the mouse and the keys g/b, n/v, u/j, i/k, o/l; only when `debug` (the
// demo's setting) is set.
void free_camera_update(Camera* c, FreeFlight& flight, float dt, bool debug);

// The free-flight pieces, kept apart from the mouse and the keyboard.

inline constexpr int FREE_CAMERA_MOUSE_X = 320;
inline constexpr int FREE_CAMERA_MOUSE_Y = 240;
// Mouse look from the pointer position before it is put back at (320, 240).
void free_camera_look(Camera* c, int mouse_x, int mouse_y);
// One frame of a speed: the keys accelerate it by 10 units/s², it is clamped to [-6, 6], and
// friction of 5 units/s² slows it after the move. Returns the distance to move this frame.
float free_camera_speed_step(float* speed, bool increase, bool decrease, float dt);
// Positive distances move along the view direction (against `back`), or to the right.
void camera_move_forward(Camera* c, float d);
void camera_move_sideways(Camera* c, float d);
// The unit axes in red, green and blue at the origin, with a point there; only when `debug` is set.
void debug_axes(bool debug);
