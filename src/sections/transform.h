// The spline helpers the image and mesh sections share, and the matrix arithmetic behind them.
//
// Transform splines have nine channels: scale x, y, z; rotation in degrees about x, y, z;
// translation x, y, z. Colour splines have four: red, green, blue, alpha.
#pragma once

#include <vector>

struct Section;

inline constexpr int TRANSFORM_CHANNELS = 9;
inline constexpr int COLOR_CHANNELS = 4;

// Most copies an image or object matrix draws in one frame, whatever its count says.
inline constexpr int MATRIX_MAX_COPIES = 65536;

// A 4x4 matrix in GL's column-major order.
struct Matrix4 {
    float m[16];
};

Matrix4 matrix_identity();
Matrix4 matrix_multiply(const Matrix4& a, const Matrix4& b);  // a x b: b applies to a vertex first
Matrix4 matrix_scale(float x, float y, float z);
Matrix4 matrix_rotate(float degrees, float x, float y, float z);  // as glRotatef builds it
Matrix4 matrix_translate(float x, float y, float z);
void matrix_transform_point(const Matrix4& m, const float in[3], float out[3]);

// The two transforms of nine channel values as the steps they multiply into a matrix, in order,
// through `steps` (scale, rotate in degrees about an axis, translate): the same steps build the
// matrices below and the GL matrix a section draws under.
// scale-rotate-translate: a vertex is translated first and scaled last.
template <typename Steps>
void transform_srt_steps(const float* ch, Steps& steps) {
    steps.scale(ch[0], ch[1], ch[2]);
    steps.rotate(ch[3], 1, 0, 0);
    steps.rotate(ch[4], 0, 1, 0);
    steps.rotate(ch[5], 0, 0, 1);
    steps.translate(ch[6], ch[7], ch[8]);
}
// translate-rotate-scale: a vertex is scaled first and translated last.
template <typename Steps>
void transform_trs_steps(const float* ch, Steps& steps) {
    steps.translate(ch[6], ch[7], ch[8]);
    steps.rotate(ch[3], 1, 0, 0);
    steps.rotate(ch[4], 0, 1, 0);
    steps.rotate(ch[5], 0, 0, 1);
    steps.scale(ch[0], ch[1], ch[2]);
}

// What the two transforms multiply into the current matrix.
Matrix4 transform_srt_matrix(const float* ch);
Matrix4 transform_trs_matrix(const float* ch);

// Copies drawn for a count n: i = 0, 1, ... while i < n, so a fractional count rounds up and
// zero, negative or NaN counts draw none; at most MATRIX_MAX_COPIES.
int matrix_copy_count(float n);

// The time copy i of n reads its colour at: i x elapsed / n.
float matrix_copy_color_time(int i, float elapsed, float n);

// One copy of an image or object matrix: its transform relative to the section's modelview and
// the time its colour is read at.
struct MatrixCopy {
    Matrix4 transform;
    float color_time;
};

// The copies for a count n: copy i is drawn under base x step^i (the step multiplied in once more
// after each copy) with its colour read at matrix_copy_color_time.
std::vector<MatrixCopy> matrix_copies(const Matrix4& base, const Matrix4& step, float n, float elapsed);

// The first channels of spline i of section s at `time` into ch (room for 16); channels
// the spline lacks stay as they were.
void spline_channels(const Section& s, float time, int i, float* ch);

// Spline i of section s evaluated at `time` and multiplied into the current GL matrix
// (glScalef, glRotatef x, y, z, glTranslatef).
void spline_transform_srt(const Section& s, float time, int i);
// Spline i of section s evaluated at `time` as the current colour.
void spline_color(const Section& s, float time, int i);

// At init and in checks: ends the program with "<type>: spline <index> has <n> channels, <needed>
// needed" when the section's spline, if loaded, has fewer channels than the helpers above read.
void spline_require_channels(const Section& s, const char* type, int index, int needed);
