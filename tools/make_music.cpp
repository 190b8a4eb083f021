// Writes the example demo's music: a synthesized tune of our own (pads, bass, arpeggio, drums)
// at 120 beats per minute, one bar every 2 seconds, so scene changes can fall on bar lines.
// Usage: make_music OUTPUT [SECONDS]   (the format follows the extension: .ogg or .wav)
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tool_help.h"

namespace {

constexpr int RATE = 44100;
constexpr double BEAT = 0.5;  // seconds
constexpr double BAR = 4 * BEAT;
constexpr double PI = 3.14159265358979323846;

// Deterministic noise, so every build of the demo sounds the same.
struct Noise {
    uint32_t state = 0x12345678u;
    double next() {
        state = state * 1664525u + 1013904223u;
        return (static_cast<double>(state >> 8) / 8388608.0) - 1.0;
    }
};

double note_hz(int midi) {
    return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

// A minor - F major - C major - G major, one chord per bar (root, third, fifth as MIDI notes).
const int CHORDS[4][3] = {{57, 60, 64}, {53, 57, 60}, {48, 52, 55}, {55, 59, 62}};

struct Mix {
    std::vector<float> left, right;
    explicit Mix(size_t frames) : left(frames, 0.0f), right(frames, 0.0f) {}
    void add(size_t i, double l, double r) {
        if (i >= left.size()) return;
        left[i] += static_cast<float>(l);
        right[i] += static_cast<float>(r);
    }
};

double saw(double phase) {
    return 2.0 * (phase - std::floor(phase + 0.5));
}
double square(double phase) {
    return phase - std::floor(phase) < 0.5 ? 1.0 : -1.0;
}

void pad(Mix& mix, double start, double length, const int* chord, double gain) {
    size_t first = static_cast<size_t>(start * RATE);
    size_t count = static_cast<size_t>(length * RATE);
    for (int v = 0; v < 3; ++v) {
        for (int detune = -1; detune <= 1; detune += 2) {
            double hz = note_hz(chord[v] + 12) * (1.0 + detune * 0.003);
            double lp = 0;
            for (size_t n = 0; n < count; ++n) {
                double t = static_cast<double>(n) / RATE;
                double env = std::min(1.0, t / 0.4) * std::min(1.0, (length - t) / 0.3);
                lp += (saw(hz * t) - lp) * 0.08;  // soften the saw
                double s = lp * env * gain;
                mix.add(first + n, s * (detune < 0 ? 0.8 : 0.5), s * (detune < 0 ? 0.5 : 0.8));
            }
        }
    }
}

void bass(Mix& mix, double start, int midi, double length, double gain) {
    size_t first = static_cast<size_t>(start * RATE);
    size_t count = static_cast<size_t>(length * RATE);
    double hz = note_hz(midi - 12);
    double lp = 0;
    for (size_t n = 0; n < count; ++n) {
        double t = static_cast<double>(n) / RATE;
        double env = std::exp(-t * 6.0) * std::min(1.0, (length - t) / 0.01);
        double cutoff = 0.04 + 0.25 * std::exp(-t * 14.0);
        lp += (saw(hz * t) - lp) * cutoff;
        mix.add(first + n, lp * env * gain, lp * env * gain);
    }
}

void lead(Mix& mix, double start, int midi, double length, double gain, double pan) {
    size_t first = static_cast<size_t>(start * RATE);
    size_t count = static_cast<size_t>(length * RATE);
    double hz = note_hz(midi + 12);
    double lp = 0;
    for (size_t n = 0; n < count; ++n) {
        double t = static_cast<double>(n) / RATE;
        double env = std::exp(-t * 9.0) * std::min(1.0, t / 0.003);
        lp += (square(hz * t) - lp) * 0.3;
        double s = lp * env * gain;
        mix.add(first + n, s * (1.0 - pan), s * pan);
    }
}

void kick(Mix& mix, double start, double gain) {
    size_t first = static_cast<size_t>(start * RATE);
    double phase = 0;
    for (size_t n = 0; n < static_cast<size_t>(0.35 * RATE); ++n) {
        double t = static_cast<double>(n) / RATE;
        double hz = 45.0 + 110.0 * std::exp(-t * 30.0);
        phase += hz / RATE;
        double s = std::sin(2 * PI * phase) * std::exp(-t * 9.0) * gain;
        mix.add(first + n, s, s);
    }
}

void snare(Mix& mix, Noise& noise, double start, double gain) {
    size_t first = static_cast<size_t>(start * RATE);
    double prev = 0;
    for (size_t n = 0; n < static_cast<size_t>(0.25 * RATE); ++n) {
        double t = static_cast<double>(n) / RATE;
        double white = noise.next();
        double hp = white - prev;  // brighter noise
        prev = white;
        double s =
            (hp * 0.6 * std::exp(-t * 18.0) + std::sin(2 * PI * 190.0 * t) * 0.5 * std::exp(-t * 25.0)) *
            gain;
        mix.add(first + n, s * 0.9, s);
    }
}

void hihat(Mix& mix, Noise& noise, double start, double gain, bool open) {
    size_t first = static_cast<size_t>(start * RATE);
    double prev = 0;
    double decay = open ? 10.0 : 45.0;
    for (size_t n = 0; n < static_cast<size_t>(0.2 * RATE); ++n) {
        double t = static_cast<double>(n) / RATE;
        double white = noise.next();
        double hp = white - prev;
        prev = white;
        double s = hp * std::exp(-t * decay) * gain;
        mix.add(first + n, s * 0.7, s);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (tool_help(argc, argv, "make_music OUTPUT.ogg|OUTPUT.wav [SECONDS]   (default 76 seconds)")) return 0;
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.ogg|OUTPUT.wav [SECONDS]\n", argv[0]);
        return 2;
    }
    std::string out = argv[1];
    double seconds = argc > 2 ? std::atof(argv[2]) : 76.0;
    if (!(seconds > 0) || seconds > 600) seconds = 76.0;
    int bars = static_cast<int>(seconds / BAR);

    Mix mix(static_cast<size_t>(seconds * RATE));
    Noise noise;
    // Bars: 0-3 pads, 4-11 drums and bass join, 12-27 everything, 28-31 breakdown, 32- finale.
    const int arp_pattern[8] = {0, 1, 2, 1, 0, 2, 1, 2};
    for (int b = 0; b < bars; ++b) {
        const int* chord = CHORDS[b % 4];
        double t0 = b * BAR;
        bool drums = b >= 4 && !(b >= 28 && b < 32);
        bool full = b >= 12 && !(b >= 28 && b < 32);
        double fade = b >= bars - 2 ? 0.5 : 1.0;
        pad(mix, t0, BAR, chord, 0.05 * fade);
        if (b >= 4) {
            for (int e = 0; e < 8; ++e) {
                int octave = (e % 2) ? 12 : 0;
                bass(mix, t0 + e * BEAT / 2, chord[0] - 12 + octave, BEAT / 2, 0.28 * fade);
            }
        }
        if (drums) {
            for (int q = 0; q < 4; ++q) kick(mix, t0 + q * BEAT, 0.8 * fade);
            for (int e = 0; e < 8; ++e) hihat(mix, noise, t0 + e * BEAT / 2, 0.12 * fade, e % 2 == 1);
        }
        if (full) {
            snare(mix, noise, t0 + BEAT, 0.5 * fade);
            snare(mix, noise, t0 + 3 * BEAT, 0.5 * fade);
        }
        if (b >= 8) {
            for (int s = 0; s < 16; ++s) {
                int voice = arp_pattern[s % 8];
                int midi = chord[voice] + (s >= 8 && b >= 16 ? 12 : 0);
                lead(mix, t0 + s * BEAT / 4, midi, BEAT / 4, (b >= 28 && b < 32 ? 0.16 : 0.1) * fade,
                     0.3 + 0.4 * (s % 2));
            }
        }
    }

    // Soft limiter and interleave.
    std::vector<float> frames(mix.left.size() * 2);
    for (size_t i = 0; i < mix.left.size(); ++i) {
        frames[2 * i] = static_cast<float>(std::tanh(mix.left[i]));
        frames[2 * i + 1] = static_cast<float>(std::tanh(mix.right[i]));
    }

    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = RATE;
    info.channels = 2;
    bool ogg = out.size() > 4 && out.compare(out.size() - 4, 4, ".ogg") == 0;
    info.format = ogg ? (SF_FORMAT_OGG | SF_FORMAT_VORBIS) : (SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    SNDFILE* file = sf_open(out.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "make_music: cannot write '%s': %s\n", out.c_str(), sf_strerror(nullptr));
        return 1;
    }
    if (ogg) {
        double quality = 0.4;
        sf_command(file, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    }
    // The Vorbis encoder works on the stack per call: hand it modest blocks.
    constexpr size_t BLOCK = 4096;
    for (size_t done = 0; done < mix.left.size(); done += BLOCK) {
        size_t n = std::min(BLOCK, mix.left.size() - done);
        sf_writef_float(file, frames.data() + 2 * done, static_cast<sf_count_t>(n));
    }
    sf_close(file);
    return 0;
}
