// Test audio made on the spot: a rising sweep whose every stretch is recognisable, written as
// 16-bit PCM WAV bytes.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
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

// A 16-bit PCM WAV file; `sample(frame, channel)` gives each sample.
inline std::string wav_bytes(int rate, int channels, int64_t frames,
                             const std::function<int16_t(int64_t, int)>& sample) {
    const auto data_bytes = static_cast<uint32_t>(frames * channels * 2);
    std::string out = "RIFF";
    media::put32le(out, 36 + data_bytes);
    out += "WAVEfmt ";
    for (uint32_t v :
         {16u, 1u | channels << 16, uint32_t(rate), uint32_t(rate * channels * 2), 2u * channels | 16u << 16})
        media::put32le(out, v);
    out += "data";
    media::put32le(out, data_bytes);
    for (int64_t f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c) media::put16le(out, static_cast<uint16_t>(sample(f, c)));
    return out;
}

// A mono sweep of `seconds` at `rate`.
inline std::string sweep_wav(int rate, double seconds) {
    return wav_bytes(rate, 1, static_cast<int64_t>(seconds * rate),
                     [rate](int64_t f, int) { return sweep_sample(f, rate); });
}
