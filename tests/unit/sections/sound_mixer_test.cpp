#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sections/audio_decoder.h"
#include "sections/audio_mixer.h"
#include "sound_media.h"

namespace {

// A WAV of `frames` frames of one constant value on both sides, and its decoder.
struct ConstantStream {
    ConstantStream(int16_t value, int64_t frames)
        : file(wav_bytes(44100, 2, frames, [value](int64_t, int) { return value; })) {
        EXPECT_EQ(
            decoder_open(reinterpret_cast<const unsigned char*>(file.data()), file.size(), 44100, &decoder),
            AUDIO_OK);
    }
    std::string file;
    AudioDecoderPtr decoder;
};

std::vector<int16_t> mix(AudioMixer& m, int frames) {
    std::vector<int16_t> out(static_cast<size_t>(2 * frames), 12345);
    mixer_mix(m, out.data(), frames);
    return out;
}

}  // namespace

TEST(AudioMixer, SilenceWhenNothingPlays) {
    AudioMixer m;
    mixer_reset(m, 32);
    for (int16_t v : mix(m, 3000)) ASSERT_EQ(v, 0);
    EXPECT_EQ(m.playing.load(), 0);
}

TEST(AudioMixer, TwoStreamsAddUpAndTheLouderSumClips) {
    ConstantStream a(1000, 5000), b(-3000, 5000), loud(30000, 5000), louder(20000, 5000);
    AudioMixer m;
    mixer_reset(m, 32);
    EXPECT_EQ(mixer_attach(m, a.decoder.get()), 0);
    EXPECT_EQ(mixer_attach(m, b.decoder.get()), 1);
    EXPECT_EQ(m.playing.load(), 2);
    for (int16_t v : mix(m, 2500)) ASSERT_EQ(v, -2000);
    EXPECT_TRUE(mixer_detach(m, b.decoder.get()));
    EXPECT_EQ(mixer_attach(m, loud.decoder.get()), 1);
    EXPECT_EQ(mixer_attach(m, louder.decoder.get()), 2);
    for (int16_t v : mix(m, 100)) ASSERT_EQ(v, 32767);
}

TEST(AudioMixer, AStreamThatEndsFreesItsChannelMidBuffer) {
    ConstantStream short_one(500, 700), long_one(100, 5000);
    AudioMixer m;
    mixer_reset(m, 4);
    mixer_attach(m, short_one.decoder.get());
    mixer_attach(m, long_one.decoder.get());
    std::vector<int16_t> out = mix(m, 2000);  // more than one mixing block
    EXPECT_EQ(out[2 * 699], 600);
    EXPECT_EQ(out[2 * 700 + 1], 100);
    EXPECT_EQ(out[2 * 1999], 100);
    EXPECT_EQ(m.playing.load(), 1);
    EXPECT_EQ(mixer_channel_of(m, short_one.decoder.get()), -1);
    EXPECT_EQ(mixer_channel_of(m, long_one.decoder.get()), 1);
}

TEST(AudioMixer, ChannelsRunOutAtTheLimitAndAPlayingDecoderKeepsItsChannel) {
    std::vector<std::unique_ptr<ConstantStream>> streams;
    for (int i = 0; i < 4; ++i) streams.push_back(std::make_unique<ConstantStream>(1, 100));
    AudioMixer m;
    mixer_reset(m, 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(mixer_attach(m, streams[i]->decoder.get()), i);
    EXPECT_EQ(mixer_attach(m, streams[3]->decoder.get()), -1);
    EXPECT_EQ(mixer_attach(m, streams[1]->decoder.get()), 1);
    EXPECT_EQ(m.playing.load(), 3);
    EXPECT_FALSE(mixer_attach_at(m, streams[3]->decoder.get(), 0));
    EXPECT_TRUE(mixer_detach(m, streams[0]->decoder.get()));
    EXPECT_FALSE(mixer_detach(m, streams[0]->decoder.get()));
    EXPECT_TRUE(mixer_attach_at(m, streams[3]->decoder.get(), 0));
    EXPECT_EQ(m.playing.load(), 3);
    mixer_reset(m, 99);
    EXPECT_EQ(m.channel_limit, AUDIO_MAX_CHANNELS);
    EXPECT_EQ(m.playing.load(), 0);
}

TEST(CpuMeter, BusyTimeOverWallTimeOncePerWindow) {
    CpuMeter meter;
    cpu_meter_reset(meter);
    // A pass every 10 ms that works for 1 ms.
    for (int i = 0; i < 50; ++i) cpu_meter_add(meter, 100.0 + i * 0.01, 100.0 + i * 0.01 + 0.001);
    EXPECT_FLOAT_EQ(meter.percent.load(), 0.0f);  // the first window has not closed yet
    cpu_meter_add(meter, 100.5, 100.5 + 0.004);
    EXPECT_NEAR(meter.percent.load(), 10.0f, 0.01f);
    for (int i = 1; i <= 50; ++i) cpu_meter_add(meter, 100.5 + i * 0.01, 100.5 + i * 0.01 + 0.002);
    EXPECT_NEAR(meter.percent.load(), (0.004 + 49 * 0.002) / 0.5 * 100.0, 0.01);
    cpu_meter_reset(meter);
    EXPECT_FLOAT_EQ(meter.percent.load(), 0.0f);
}
