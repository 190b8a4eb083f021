#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sections/audio_backend.h"
#include "sound_capture.h"

namespace {

const unsigned char* bytes(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

// Closes the back end at the end of each test, whatever happened.
struct BackendSession {
    BackendSession() { EXPECT_TRUE(audio_start(44100, AUDIO_MAX_CHANNELS)) << audio_error(); }
    ~BackendSession() { audio_close(); }
};

}  // namespace

TEST(AudioBackend, CommandsBeforeStartAndWrongArgumentsFailWithTheirCodes) {
    DiskAudio disk;
    audio_close();  // closing what never started is harmless
    std::string wav = sweep_wav(44100, 0.2);
    EXPECT_EQ(audio_stream_open(bytes(wav), wav.size()), nullptr);
    EXPECT_EQ(audio_error(), AUDIO_ERR_NOT_STARTED);
    EXPECT_EQ(audio_stream_play(nullptr), -1);
    EXPECT_EQ(audio_error(), AUDIO_ERR_NOT_STARTED);
    EXPECT_FLOAT_EQ(audio_cpu_usage(), 0.0f);
    EXPECT_EQ(audio_channels_playing(), 0);
    EXPECT_FALSE(audio_start(0, 32));
    EXPECT_EQ(audio_error(), AUDIO_ERR_PARAMETER);
    EXPECT_FALSE(audio_start(44100, 33));
    EXPECT_EQ(audio_error(), AUDIO_ERR_PARAMETER);

    BackendSession session;
    EXPECT_FALSE(audio_start(44100, 32));
    EXPECT_EQ(audio_error(), AUDIO_ERR_ALREADY_STARTED);
    std::string text = "not music at all\n";
    EXPECT_EQ(audio_stream_open(bytes(text), text.size()), nullptr);
    EXPECT_EQ(audio_error(), AUDIO_ERR_FORMAT);
    AudioStream* stream = audio_stream_open(bytes(wav), wav.size());
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(audio_error(), AUDIO_OK);
    EXPECT_FALSE(audio_stream_set_time(stream, -5));
    EXPECT_EQ(audio_error(), AUDIO_ERR_PARAMETER);
    int not_ours = 0;
    EXPECT_FALSE(audio_stream_set_time(reinterpret_cast<AudioStream*>(&not_ours), 10));
    EXPECT_EQ(audio_error(), AUDIO_ERR_PARAMETER);
    EXPECT_FALSE(audio_stream_stop(nullptr));
    EXPECT_EQ(audio_error(), AUDIO_ERR_PARAMETER);
}

TEST(AudioBackend, AStartedDeviceFailsWhenTheDriverIsMissing) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_FALSE(audio_start(44100, 32));
    EXPECT_EQ(audio_error(), AUDIO_ERR_DEVICE);
    EXPECT_EQ(audio_channels_playing(), 0);
}

TEST(AudioBackend, PlaysFromTheSetTimeToTheExactSample) {
    DiskAudio disk;
    std::string wav = sweep_wav(44100, 3.0);
    {
        BackendSession session;
        AudioStream* stream = audio_stream_open(bytes(wav), wav.size());
        ASSERT_NE(stream, nullptr);
        ASSERT_TRUE(audio_stream_set_time(stream, 1500));
        int64_t before = disk.frames_written();
        EXPECT_EQ(audio_stream_play(stream), 0);
        EXPECT_EQ(audio_channels_playing(), 1);
        ASSERT_TRUE(disk.wait_frames(before + 20000));
        EXPECT_TRUE(audio_stream_stop(stream));
        EXPECT_EQ(audio_channels_playing(), 0);
    }
    EXPECT_GE(sweep_match(disk.capture(), 66150, 8192), 8192);
}

TEST(AudioBackend, AStreamPlayedAgainStartsOverUnlessASeekCameFirst) {
    DiskAudio disk;
    std::string wav = sweep_wav(44100, 0.3);
    {
        BackendSession session;
        AudioStream* stream = audio_stream_open(bytes(wav), wav.size());
        ASSERT_NE(stream, nullptr);
        ASSERT_EQ(audio_stream_play(stream), 0);
        // It plays to its end and frees its channel by itself.
        for (int i = 0; i < 400 && audio_channels_playing() > 0; ++i)
            disk.wait_frames(disk.frames_written() + 441);
        EXPECT_EQ(audio_channels_playing(), 0);
        ASSERT_EQ(audio_stream_play(stream), 0);
        for (int i = 0; i < 400 && audio_channels_playing() > 0; ++i)
            disk.wait_frames(disk.frames_written() + 441);
        ASSERT_TRUE(audio_stream_set_time(stream, 200));
        ASSERT_EQ(audio_stream_play(stream), 0);
        disk.wait_frames(disk.frames_written() + 10000);
    }
    EXPECT_EQ(sweep_appearances(disk.capture(), 1), 2);
}

TEST(AudioBackend, PlayingAPlayingStreamRestartsItOnItsChannel) {
    DiskAudio disk;
    std::string wav = sweep_wav(44100, 2.0);
    {
        BackendSession session;
        AudioStream* stream = audio_stream_open(bytes(wav), wav.size());
        ASSERT_NE(stream, nullptr);
        ASSERT_EQ(audio_stream_play(stream), 0);
        ASSERT_TRUE(disk.wait_frames(disk.frames_written() + 4410));
        ASSERT_EQ(audio_stream_play(stream), 0);
        EXPECT_EQ(audio_channels_playing(), 1);
        ASSERT_TRUE(disk.wait_frames(disk.frames_written() + 4410));
    }
    EXPECT_EQ(sweep_appearances(disk.capture(), 1), 2);
}

TEST(AudioBackend, ChannelsRunOutAfterTheLimitAndTheMixerReportsItsShare) {
    DiskAudio disk;
    std::string wav = sweep_wav(44100, 4.0);
    BackendSession session;
    std::vector<AudioStream*> streams;
    for (int i = 0; i < AUDIO_MAX_CHANNELS + 1; ++i) {
        streams.push_back(audio_stream_open(bytes(wav), wav.size()));
        ASSERT_NE(streams.back(), nullptr);
    }
    for (int i = 0; i < AUDIO_MAX_CHANNELS; ++i) ASSERT_EQ(audio_stream_play(streams[i]), i);
    EXPECT_EQ(audio_stream_play(streams.back()), -1);
    EXPECT_EQ(audio_error(), AUDIO_ERR_CHANNEL);
    EXPECT_EQ(audio_channels_playing(), AUDIO_MAX_CHANNELS);
    ASSERT_TRUE(disk.wait_frames(disk.frames_written() + 44100));
    float share = audio_cpu_usage();
    EXPECT_GT(share, 0.0f);
    EXPECT_LT(share, 100.0f);
    audio_stream_stop(streams[5]);
    EXPECT_EQ(audio_stream_play(streams.back()), 5);
    audio_close();
    EXPECT_EQ(audio_channels_playing(), 0);
    EXPECT_FLOAT_EQ(audio_cpu_usage(), 0.0f);
}

TEST(AudioBackend, VersionTextsCompareByTheirNumbers) {
    EXPECT_TRUE(version_at_least("libsndfile-1.2.0", "1.2.0"));
    EXPECT_TRUE(version_at_least("libsndfile-1.10.0", "1.2.0"));
    EXPECT_FALSE(version_at_least("libsndfile-1.1.9", "1.2.0"));
    EXPECT_TRUE(version_at_least("libsamplerate-0.2.2 (c) 2002-2008 Erik de Castro Lopo", "0.2.2"));
    EXPECT_FALSE(version_at_least("libsamplerate-0.2.2 (c) 2002-2008 Erik de Castro Lopo", "0.2.3"));
    EXPECT_TRUE(version_at_least("Xiph.Org libVorbis 1.3.7", "1.3"));
    EXPECT_FALSE(version_at_least("Xiph.Org libVorbis 1.3", "1.3.1"));
    EXPECT_FALSE(version_at_least("no digits", "0"));
    EXPECT_FALSE(version_at_least(nullptr, "1.0"));
    EXPECT_TRUE(audio_versions_ok());
    EXPECT_EQ(audio_error(), AUDIO_OK);
}
