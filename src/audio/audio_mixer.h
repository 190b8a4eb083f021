// The software mixer behind the audio device: a fixed set of channels, each playing one
// decoder, summed into 16-bit stereo; and the meter that measures its share of the CPU.
// No locking here: the back end holds its lock around every call.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "audio/audio_backend.h"

struct AudioDecoder;

struct AudioMixer {
    int channel_limit = 0;
    AudioDecoder* channels[AUDIO_MAX_CHANNELS] = {};
    // Read without the lock by the main thread (the overlay asks every frame).
    std::atomic<int> playing{0};
    std::vector<float> sum;
    std::vector<float> part;
};

// Empties every channel and allows `channel_limit` (1 to AUDIO_MAX_CHANNELS) of them.
void mixer_reset(AudioMixer& m, int channel_limit);

// The channel the decoder plays on, or -1.
int mixer_channel_of(const AudioMixer& m, const AudioDecoder* d);

// Puts the decoder on the lowest free channel (or leaves it where it plays) and returns the
// channel; -1 when every channel is taken.
int mixer_attach(AudioMixer& m, AudioDecoder* d);

// Puts the decoder on channel `channel` if that channel is free; false otherwise.
bool mixer_attach_at(AudioMixer& m, AudioDecoder* d, int channel);

// Takes the decoder off its channel; false when it was not playing.
bool mixer_detach(AudioMixer& m, const AudioDecoder* d);

// Writes `frames` interleaved stereo frames: the sum of every playing channel, clipped to
// 16 bits, silence where nothing plays. A decoder that runs out frees its channel.
void mixer_mix(AudioMixer& m, int16_t* out, int frames);

// Time spent mixing over wall time. Each mixing pass reports when it began and ended
// (seconds on one monotonic clock); the figure is recomputed once a window of wall time,
// measured from one pass's start to a later one's, has gone by.
struct CpuMeter {
    double window = 0.5;
    bool begun = false;
    double window_start = 0;
    double busy = 0;
    std::atomic<float> percent{0.0f};
};

void cpu_meter_reset(CpuMeter& meter);
void cpu_meter_add(CpuMeter& meter, double pass_start, double pass_end);
