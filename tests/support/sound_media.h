// Test audio made on the spot: a rising sweep whose every stretch is recognisable, written as
// 16-bit PCM WAV bytes.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include "media_files.h"

// The sweep at `t` seconds: 200 Hz rising by 300 Hz a second, amplitude 0.5.
inline double sweep_value(double t) {
    return 0.5 * std::sin(2.0 * M_PI * (200.0 * t + 150.0 * t * t));
}

// The sweep as 16-bit samples at `rate`.
inline int16_t sweep_sample(int64_t frame, int rate) {
    return static_cast<int16_t>(std::lrint(sweep_value(static_cast<double>(frame) / rate) * 32767.0));
}

// A mono sweep of `seconds` at `rate`.
inline std::string sweep_wav(int rate, double seconds) {
    return media::wav(rate, 1, static_cast<int64_t>(seconds * rate),
                      [rate](int64_t f, int) { return sweep_sample(f, rate); });
}
