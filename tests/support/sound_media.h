// Test audio made on the spot: a rising sweep whose every stretch is recognisable, written
// as 16-bit PCM WAV bytes, and helpers to find where a captured stretch sits in its source.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

// The sweep at `t` seconds: 200 Hz rising by 300 Hz a second, amplitude 0.5.
inline double sweep_value(double t) {
    return 0.5 * std::sin(2.0 * M_PI * (200.0 * t + 150.0 * t * t));
}

// The sweep as 16-bit samples at `rate`.
inline int16_t sweep_sample(int64_t frame, int rate) {
    return static_cast<int16_t>(std::lrint(sweep_value(static_cast<double>(frame) / rate) * 32767.0));
}

inline void put_le(std::string& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A 16-bit PCM WAV file; `sample(frame, channel)` gives each sample.
inline std::string wav_bytes(int rate, int channels, int64_t frames,
                             const std::function<int16_t(int64_t, int)>& sample) {
    std::string out = "RIFF";
    uint32_t data_bytes = static_cast<uint32_t>(frames * channels * 2);
    put_le(out, 36 + data_bytes, 4);
    out += "WAVEfmt ";
    put_le(out, 16, 4);
    put_le(out, 1, 2);
    put_le(out, static_cast<uint32_t>(channels), 2);
    put_le(out, static_cast<uint32_t>(rate), 4);
    put_le(out, static_cast<uint32_t>(rate * channels * 2), 4);
    put_le(out, static_cast<uint32_t>(channels * 2), 2);
    put_le(out, 16, 2);
    out += "data";
    put_le(out, data_bytes, 4);
    for (int64_t f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c) put_le(out, static_cast<uint16_t>(sample(f, c)), 2);
    return out;
}

// A mono sweep of `seconds` at `rate`.
inline std::string sweep_wav(int rate, double seconds) {
    return wav_bytes(rate, 1, static_cast<int64_t>(seconds * rate),
                     [rate](int64_t f, int) { return sweep_sample(f, rate); });
}

// Interleaved 16-bit stereo frames read from raw capture bytes.
inline std::vector<int16_t> s16_samples(const std::string& raw) {
    std::vector<int16_t> out(raw.size() / 2);
    if (!out.empty()) std::memcpy(out.data(), raw.data(), out.size() * 2);
    return out;
}

// Index of the first stereo frame with any sample further than `threshold` from zero, or -1.
inline int64_t first_sound(const std::vector<int16_t>& stereo, int threshold = 4) {
    for (size_t i = 0; i < stereo.size(); ++i)
        if (std::abs(stereo[i]) > threshold) return static_cast<int64_t>(i / 2);
    return -1;
}

// Mean squared difference, in units of full scale, between `count` captured left samples from
// frame `at` and the sweep at 44100 Hz from source frame `source_at`.
inline double sweep_error(const std::vector<int16_t>& stereo, int64_t at, int64_t source_at, int count) {
    double sum = 0;
    for (int i = 0; i < count; ++i) {
        double got = stereo[static_cast<size_t>(2 * (at + i))] / 32768.0;
        double want = sweep_value(static_cast<double>(source_at + i) / 44100.0);
        sum += (got - want) * (got - want);
    }
    return sum / count;
}

// The source frame (within `from`..`to`) that the captured stretch at frame `at` matches best.
inline int64_t sweep_offset(const std::vector<int16_t>& stereo, int64_t at, int64_t from, int64_t to,
                            int count = 256) {
    int64_t best = from;
    double best_error = 1e30;
    for (int64_t s = from; s <= to; ++s) {
        double e = sweep_error(stereo, at, s, count);
        if (e < best_error) {
            best_error = e;
            best = s;
        }
    }
    return best;
}
