// Software mixing: channels summed in float, clipped once into 16 bits.
#include "audio/audio_mixer.h"

#include <algorithm>
#include <cmath>

#include "audio/audio_decoder.h"

namespace {
// Frames mixed per pass through the channels; the scratch buffers hold one block.
constexpr int MIX_BLOCK = 1024;

int16_t to_s16(float v) {
    if (!(v == v)) return 0;  // a damaged float file can hold NaN
    float scaled = std::clamp(v * 32768.0f, -32768.0f, 32767.0f);
    return static_cast<int16_t>(std::lrint(scaled));
}
}  // namespace

void mixer_reset(AudioMixer& m, int channel_limit) {
    m.channel_limit = std::clamp(channel_limit, 1, AUDIO_MAX_CHANNELS);
    std::fill(std::begin(m.channels), std::end(m.channels), nullptr);
    m.playing.store(0);
    m.sum.assign(2 * MIX_BLOCK, 0.0f);
    m.part.assign(2 * MIX_BLOCK, 0.0f);
}

int mixer_channel_of(const AudioMixer& m, const AudioDecoder* d) {
    if (d == nullptr) return -1;
    for (int c = 0; c < m.channel_limit; ++c)
        if (m.channels[c] == d) return c;
    return -1;
}

int mixer_attach(AudioMixer& m, AudioDecoder* d) {
    int c = mixer_channel_of(m, d);
    if (c >= 0 || d == nullptr) return c;
    for (c = 0; c < m.channel_limit; ++c)
        if (mixer_attach_at(m, d, c)) return c;
    return -1;
}

bool mixer_attach_at(AudioMixer& m, AudioDecoder* d, int channel) {
    if (d == nullptr || channel < 0 || channel >= m.channel_limit || m.channels[channel] != nullptr)
        return false;
    if (mixer_channel_of(m, d) >= 0) return false;
    m.channels[channel] = d;
    m.playing.fetch_add(1);
    return true;
}

bool mixer_detach(AudioMixer& m, const AudioDecoder* d) {
    int c = mixer_channel_of(m, d);
    if (c < 0) return false;
    m.channels[c] = nullptr;
    m.playing.fetch_sub(1);
    return true;
}

void mixer_mix(AudioMixer& m, int16_t* out, int frames) {
    if (m.sum.size() < 2 * MIX_BLOCK || m.part.size() < 2 * MIX_BLOCK) {
        m.sum.resize(2 * MIX_BLOCK);  // only when mixer_reset was skipped
        m.part.resize(2 * MIX_BLOCK);
    }
    for (int done = 0; done < frames;) {
        const int block = std::min(MIX_BLOCK, frames - done);
        std::fill(m.sum.begin(), m.sum.begin() + 2 * block, 0.0f);
        for (int c = 0; c < m.channel_limit; ++c) {
            AudioDecoder* d = m.channels[c];
            if (d == nullptr) continue;
            long n = decoder_read(*d, m.part.data(), block);
            for (long i = 0; i < 2 * n; ++i) m.sum[i] += m.part[i];
            if (n < block) {
                m.channels[c] = nullptr;
                m.playing.fetch_sub(1);
            }
        }
        int16_t* o = out + 2 * done;
        for (int i = 0; i < 2 * block; ++i) o[i] = to_s16(m.sum[i]);
        done += block;
    }
}

void cpu_meter_reset(CpuMeter& meter) {
    meter.begun = false;
    meter.busy = 0;
    meter.window_start = 0;
    meter.percent.store(0.0f);
}

void cpu_meter_add(CpuMeter& meter, double pass_start, double pass_end) {
    if (!meter.begun) {
        meter.begun = true;
        meter.window_start = pass_start;
        meter.busy = 0;
    }
    double wall = pass_start - meter.window_start;
    if (wall >= meter.window && wall > 0) {
        meter.percent.store(static_cast<float>(100.0 * meter.busy / wall));
        meter.window_start = pass_start;
        meter.busy = 0;
    }
    meter.busy += std::max(0.0, pass_end - pass_start);
}
