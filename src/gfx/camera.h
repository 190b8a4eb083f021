// The camera: eye, target and rotation, the projection, and the matrices it loads.
#pragma once

#include <string>

#include "gfx/vector3.h"

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
// The twelve values of a camera spline key: position, rotation, target, fov, near, far.
std::string camera_print_line(const Camera& c);
