// Matrix arithmetic that mirrors the GL matrix calls of the spline transforms, so copy layouts
// can be computed and checked without a GL context.
#include <cmath>

#include "sections/transform.h"

Matrix4 matrix_identity() {
    Matrix4 r{};
    r.m[0] = r.m[5] = r.m[10] = r.m[15] = 1;
    return r;
}

Matrix4 matrix_multiply(const Matrix4& a, const Matrix4& b) {
    Matrix4 r{};
    for (int col = 0; col < 4; ++col) {
        for (int row = 0; row < 4; ++row) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += a.m[k * 4 + row] * b.m[col * 4 + k];
            r.m[col * 4 + row] = sum;
        }
    }
    return r;
}

Matrix4 matrix_scale(float x, float y, float z) {
    Matrix4 r = matrix_identity();
    r.m[0] = x;
    r.m[5] = y;
    r.m[10] = z;
    return r;
}

Matrix4 matrix_rotate(float degrees, float x, float y, float z) {
    Matrix4 r = matrix_identity();
    float len = std::sqrt(x * x + y * y + z * z);
    if (!(len > 0)) return r;
    x /= len;
    y /= len;
    z /= len;
    float a = degrees * 3.14159265358979323846f / 180.0f;
    float c = std::cos(a), s = std::sin(a), t = 1 - c;
    // Columns of the rotation about (x, y, z).
    r.m[0] = x * x * t + c;
    r.m[1] = y * x * t + z * s;
    r.m[2] = x * z * t - y * s;
    r.m[4] = x * y * t - z * s;
    r.m[5] = y * y * t + c;
    r.m[6] = y * z * t + x * s;
    r.m[8] = x * z * t + y * s;
    r.m[9] = y * z * t - x * s;
    r.m[10] = z * z * t + c;
    return r;
}

Matrix4 matrix_translate(float x, float y, float z) {
    Matrix4 r = matrix_identity();
    r.m[12] = x;
    r.m[13] = y;
    r.m[14] = z;
    return r;
}

void matrix_transform_point(const Matrix4& m, const float in[3], float out[3]) {
    float v[3];
    for (int row = 0; row < 3; ++row) {
        v[row] = m.m[row] * in[0] + m.m[4 + row] * in[1] + m.m[8 + row] * in[2] + m.m[12 + row];
    }
    for (int i = 0; i < 3; ++i) out[i] = v[i];
}

namespace {
// Transform steps multiplied into a matrix, the first from identity (a product with identity is
// exact, so the first step is its own matrix).
struct MatrixSteps {
    Matrix4 m = matrix_identity();
    void scale(float x, float y, float z) { m = matrix_multiply(m, matrix_scale(x, y, z)); }
    void rotate(float degrees, float x, float y, float z) {
        m = matrix_multiply(m, matrix_rotate(degrees, x, y, z));
    }
    void translate(float x, float y, float z) { m = matrix_multiply(m, matrix_translate(x, y, z)); }
};
}  // namespace

Matrix4 transform_srt_matrix(const float* ch) {
    MatrixSteps steps;
    transform_srt_steps(ch, steps);
    return steps.m;
}

Matrix4 transform_trs_matrix(const float* ch) {
    MatrixSteps steps;
    transform_trs_steps(ch, steps);
    return steps.m;
}

int matrix_copy_count(float n) {
    if (!(n > 0)) return 0;
    if (n >= static_cast<float>(MATRIX_MAX_COPIES)) return MATRIX_MAX_COPIES;
    return static_cast<int>(std::ceil(n));
}

float matrix_copy_color_time(int i, float elapsed, float n) {
    return static_cast<float>(i) * elapsed / n;
}

std::vector<MatrixCopy> matrix_copies(const Matrix4& base, const Matrix4& step, float n, float elapsed) {
    int count = matrix_copy_count(n);
    std::vector<MatrixCopy> copies;
    copies.reserve(count);
    Matrix4 current = base;
    for (int i = 0; i < count; ++i) {
        copies.push_back({current, matrix_copy_color_time(i, elapsed, n)});
        current = matrix_multiply(current, step);
    }
    return copies;
}
