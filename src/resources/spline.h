// Keyframed curves of up to 16 float channels, read from text files; key times are spread
// evenly over a duration the script gives, and evaluation is a Kochanek-Bartels (TCB 0) Hermite.
#pragma once

#include <vector>

inline constexpr int SPLINE_MAX_CHANNELS = 16;
// A key line holds 255 bytes, its line end included, as a script line does.
inline constexpr int SPLINE_LINE_SIZE = 256;

struct SplineKey {
    float values[SPLINE_MAX_CHANNELS] = {};
    float time = 0;
};

struct Spline {
    std::vector<SplineKey> keys;
    int key_count = 0;
    float duration = 0;
    int channels = 0;
};

// Reads a spline file through the archive-aware layer; duration and key times not yet set.
// A file without any key is fatal. The caller owns the result (delete).
Spline* spline_load(const char* path);

// Sets the duration and spreads the key times evenly over it (key 0 at 0, the last at duration).
// The load phase calls it right after spline_load. A non-finite duration counts as 0.
void spline_set_duration(Spline* spline, float duration);

// Writes the first `channels` values at t seconds into out (room for 16) and returns `channels`.
// Before the first key the first segment is extrapolated; after the last key its values hold.
// With every key at one time (duration 0) the curve steps from the first key to the last there.
int spline_eval(const Spline* spline, float* out, float t);
