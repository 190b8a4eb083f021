// Three-component vectors and the few operations on them the cameras and sections share.
#pragma once

struct Vector3 {
    float x = 0, y = 0, z = 0;
};

void vec3_add(const Vector3& a, const Vector3& b, Vector3& out);
void vec3_minus(const Vector3& a, const Vector3& b, Vector3& out);  // out = a - b
void vec3_scale(const Vector3& v, float s, Vector3& out);
