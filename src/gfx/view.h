// Camera, projection and the 2D helpers the sections share.
#pragma once

struct Vector3 {
    float x = 0, y = 0, z = 0;
};

struct Camera {
    Vector3 position;
    Vector3 target;
    Vector3 rotation;
    Vector3 back;
    Vector3 up;
    Vector3 right;
    float fov = 0;
    float aspect = 0;
    float near = 0.1f;
    float far = 100.0f;
};

// The camera applied by the running camera section this frame; cleared every frame.
extern Camera* current_camera;

Camera* camera_new();
Camera* camera_set_position(Camera* c, float x, float y, float z);
Camera* camera_set_target(Camera* c, float x, float y, float z);
Camera* camera_set_rotation(Camera* c, float x, float y, float z);
Camera* camera_set_fov(Camera* c, float fov, float aspect);
Camera* camera_set_clip(Camera* c, float near, float far);
void perspective_set(const Camera* c);
void camera_apply(Camera* c);
void free_camera_update(Camera* c, float dt);

void ortho_begin();
void ortho_end();
void debug_axes();

void vec3_add(const Vector3& a, const Vector3& b, Vector3& out);
void vec3_sub(const Vector3& a, const Vector3& b, Vector3& out);  // out = b - a
void vec3_scale(const Vector3& v, float s, Vector3& out);
