#include "gfx/vector3.h"

void vec3_add(const Vector3& a, const Vector3& b, Vector3& out) {
    out.x = a.x + b.x;
    out.y = a.y + b.y;
    out.z = a.z + b.z;
}

void vec3_minus(const Vector3& a, const Vector3& b, Vector3& out) {
    out.x = a.x - b.x;
    out.y = a.y - b.y;
    out.z = a.z - b.z;
}

void vec3_scale(const Vector3& v, float s, Vector3& out) {
    out.x = v.x * s;
    out.y = v.y * s;
    out.z = v.z * s;
}
