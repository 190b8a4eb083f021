// Camera, projection and the 2D helpers the sections share.
#pragma once

#include <cstdint>
#include <string>

struct Vector3 {
    float x = 0, y = 0, z = 0;
};

struct Camera {
    Vector3 position;
    Vector3 target;
    Vector3 rotation;  // degrees about the view's X, Y and Z axes, applied before the look-at
    Vector3 back;      // rows of the modelview rotation, stored by camera_apply
    Vector3 up;
    Vector3 right;
    float fov = 0;
    float aspect = 0;
    float near = 0.1f;
    float far = 100.0f;
};

Camera* camera_set_position(Camera* c, float x, float y, float z);
Camera* camera_set_target(Camera* c, float x, float y, float z);
Camera* camera_set_rotation(Camera* c, float x, float y, float z);
Camera* camera_set_fov(Camera* c, float fov, float aspect);
Camera* camera_set_clip(Camera* c, float near, float far);
// Loads the projection matrix (leaves GL_PROJECTION current).
void perspective_set(const Camera* c);
// Loads the modelview matrix and stores the camera's axes (leaves GL_MODELVIEW current).
void camera_apply(Camera* c);
// Debug free flight with the mouse and the keys g/b, n/v, u/j, i/k, o/l; only when `debug` is set.
void free_camera_update(Camera* c, float dt);

// The free-flight pieces, kept apart from the mouse and the keyboard.
// Speeds in units per second, kept between frames.
extern float forward_speed;
extern float side_speed;

// The held keys the free camera reads: 1 while the key with that SDL key symbol is held down;
// symbols of 256 and above are not kept. The key handling of the main loop fills it.
inline constexpr int KEY_STATE_SIZE = 256;
extern int32_t key_state[KEY_STATE_SIZE];

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
// The twelve values of a camera spline key: position, rotation, target, fov, near, far.
std::string camera_print_line(const Camera& c);

// 2D drawing on the unit square, origin at the lower left; both matrices are saved and restored.
void ortho_begin();
void ortho_end();
void debug_axes();

void vec3_add(const Vector3& a, const Vector3& b, Vector3& out);
void vec3_sub(const Vector3& a, const Vector3& b, Vector3& out);  // out = b - a
void vec3_scale(const Vector3& v, float s, Vector3& out);
