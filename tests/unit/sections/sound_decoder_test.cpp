#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "sections/audio_backend.h"
#include "sections/audio_decoder.h"
#include "sound_media.h"

namespace {

const unsigned char* bytes(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

// The decoder reads `file` while it plays: keep the string alive as long as the decoder.
AudioDecoderPtr open_ok(const std::string& file, int out_rate = 44100) {
    AudioDecoderPtr d;
    EXPECT_EQ(decoder_open(bytes(file), file.size(), out_rate, &d), AUDIO_OK);
    return d;
}

// Every frame left, as interleaved stereo floats.
std::vector<float> read_all(AudioDecoder& d) {
    std::vector<float> out;
    std::vector<float> chunk(2 * 777);  // an odd size, so reads straddle the decoder's chunks
    for (;;) {
        long n = decoder_read(d, chunk.data(), 777);
        out.insert(out.end(), chunk.begin(), chunk.begin() + 2 * n);
        if (n < 777) break;
    }
    return out;
}

std::vector<float> read_frames(AudioDecoder& d, long frames) {
    std::vector<float> out(static_cast<size_t>(2 * frames));
    out.resize(static_cast<size_t>(2 * decoder_read(d, out.data(), frames)));
    return out;
}

}  // namespace

TEST(AudioDecoder, WavDecodesToTheExactSamplesOnBothSides) {
    std::string wav = wav_bytes(44100, 2, 5000, [](int64_t f, int c) {
        return static_cast<int16_t>(c == 0 ? sweep_sample(f, 44100) : -3 * f);
    });
    AudioDecoderPtr d = open_ok(wav);
    ASSERT_TRUE(d);
    EXPECT_EQ(decoder_kind(*d), AUDIO_SOURCE_SNDFILE);
    EXPECT_EQ(decoder_source_channels(*d), 2);
    std::vector<float> all = read_all(*d);
    ASSERT_EQ(all.size(), 2u * 5000);
    for (int64_t f = 0; f < 5000; ++f) {
        ASSERT_EQ(all[2 * f] * 32768.0f, sweep_sample(f, 44100)) << f;
        ASSERT_EQ(all[2 * f + 1] * 32768.0f, -3 * f) << f;
    }
    EXPECT_TRUE(decoder_ended(*d));
    EXPECT_EQ(decoder_read(*d, all.data(), 10), 0);
}

TEST(AudioDecoder, MonoPlaysOnBothSides) {
    std::string wav = sweep_wav(44100, 0.1);
    AudioDecoderPtr d = open_ok(wav);
    ASSERT_TRUE(d);
    std::vector<float> all = read_all(*d);
    ASSERT_EQ(all.size(), 2u * 4410);
    for (size_t f = 0; f < 4410; ++f) ASSERT_EQ(all[2 * f], all[2 * f + 1]);
}

TEST(AudioDecoder, SeekLandsOnTheExactSampleOfTheMillisecond) {
    std::string wav = sweep_wav(44100, 3.0);
    AudioDecoderPtr d = open_ok(wav);
    ASSERT_TRUE(d);
    read_frames(*d, 3000);  // a seek from the middle, not only from a fresh file
    for (int64_t ms : {1234, 7, 0, 2999, 1000}) {
        ASSERT_EQ(decoder_seek_ms(*d, ms), AUDIO_OK);
        std::vector<float> got = read_frames(*d, 64);
        int64_t first = ms * 44100 / 1000;
        ASSERT_GE(got.size(), 2u);
        for (size_t i = 0; i < got.size() / 2; ++i)
            ASSERT_EQ(got[2 * i] * 32768.0f, sweep_sample(first + static_cast<int64_t>(i), 44100))
                << ms << " " << i;
    }
}

TEST(AudioDecoder, SeekPastTheEndEndsAndASeekBackPlaysAgain) {
    std::string wav = sweep_wav(44100, 0.5);
    AudioDecoderPtr d = open_ok(wav);
    ASSERT_TRUE(d);
    float frame[2];
    EXPECT_EQ(decoder_seek_ms(*d, 600), AUDIO_OK);
    EXPECT_EQ(decoder_read(*d, frame, 1), 0);
    EXPECT_EQ(decoder_seek_ms(*d, 30000000000LL), AUDIO_OK);
    EXPECT_EQ(decoder_read(*d, frame, 1), 0);
    EXPECT_EQ(decoder_seek_ms(*d, 100), AUDIO_OK);
    ASSERT_EQ(decoder_read(*d, frame, 1), 1);
    EXPECT_EQ(frame[0] * 32768.0f, sweep_sample(4410, 44100));
    EXPECT_EQ(decoder_seek_ms(*d, -1), AUDIO_ERR_PARAMETER);
}

TEST(AudioDecoder, Resamples22050ToTheMixingRate) {
    std::string wav = sweep_wav(22050, 1.0);
    AudioDecoderPtr d = open_ok(wav);
    ASSERT_TRUE(d);
    EXPECT_EQ(decoder_source_rate(*d), 22050);
    std::vector<float> all = read_all(*d);
    EXPECT_NEAR(static_cast<double>(all.size()) / 2, 44100, 64);
    // Away from the two ends the output is the band-limited sweep sampled at 44100 Hz.
    double worst = 0;
    for (size_t f = 200; f < 44100 - 200; ++f)
        worst = std::max(worst, std::fabs(all[2 * f] - sweep_value(static_cast<double>(f) / 44100.0)));
    EXPECT_LT(worst, 2e-3);
}

TEST(AudioDecoder, SeekAfterResamplingMatchesAContinuousDecode) {
    for (int rate : {22050, 48000, 32000}) {
        std::string wav = sweep_wav(rate, 1.5);
        AudioDecoderPtr whole = open_ok(wav);
        ASSERT_TRUE(whole);
        std::vector<float> reference = read_all(*whole);
        AudioDecoderPtr d = open_ok(wav);
        for (int64_t ms : {1000, 3, 517, 1250}) {
            ASSERT_EQ(decoder_seek_ms(*d, ms), AUDIO_OK);
            std::vector<float> got = read_frames(*d, 256);
            size_t first = static_cast<size_t>(ms * 44100 / 1000);
            ASSERT_EQ(got.size(), 512u);
            for (size_t i = 0; i < 256; ++i)
                ASSERT_NEAR(got[2 * i], reference[2 * (first + i)], 1e-4) << rate << " " << ms << " " << i;
        }
    }
}

TEST(AudioDecoder, RefusesWhatIsNotAudio) {
    AudioDecoderPtr d;
    std::string text = "demo_name Test\n[image]\nstart 0\n";
    EXPECT_EQ(decoder_open(bytes(text), text.size(), 44100, &d), AUDIO_ERR_FORMAT);
    EXPECT_FALSE(d);
    EXPECT_EQ(decoder_open(nullptr, 0, 44100, &d), AUDIO_ERR_FORMAT);
    std::string png = "\x89PNG\r\n\x1a\n" + std::string(200, '\0');
    EXPECT_EQ(decoder_open(bytes(png), png.size(), 44100, &d), AUDIO_ERR_FORMAT);
    std::string ogg = "OggS" + std::string(200, '\x01');
    EXPECT_EQ(decoder_open(bytes(ogg), ogg.size(), 44100, &d), AUDIO_ERR_FORMAT);
    // A WAV header cut before its data chunk is a damaged file, not a foreign one.
    std::string cut = sweep_wav(44100, 0.1).substr(0, 30);
    EXPECT_EQ(decoder_open(bytes(cut), cut.size(), 44100, &d), AUDIO_ERR_FILE_BAD);
    EXPECT_EQ(decoder_open(nullptr, 10, 44100, &d), AUDIO_ERR_PARAMETER);
    std::string wav = sweep_wav(44100, 0.1);
    EXPECT_EQ(decoder_open(bytes(wav), wav.size(), 0, &d), AUDIO_ERR_PARAMETER);
    EXPECT_FALSE(d);
}

TEST(AudioDecoder, AFileCutShortPlaysWhatItHasAndEnds) {
    std::string wav = sweep_wav(44100, 1.0);
    std::string cut = wav.substr(0, 44 + 2 * 1000);
    AudioDecoderPtr d = open_ok(cut);
    ASSERT_TRUE(d);
    EXPECT_EQ(read_all(*d).size(), 2u * 1000);
    EXPECT_TRUE(decoder_ended(*d));
}
