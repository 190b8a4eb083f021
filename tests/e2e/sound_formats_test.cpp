// Decoding and seeking for every compressed format the player accepts, on files made at test time
// by Debian's own encoders from the sweep, and a module from the tools' generator: each is chosen
// by its content, plays its whole length and seeks to the sample.
#include <gtest/gtest.h>

#include <cstdlib>

#include "sections/audio_backend.h"
#include "sections/audio_decoder.h"
#include "sound_media.h"
#include "test_support.h"

namespace {

struct Format {
    const char* name;
    const char* command;  // writing OUT from the sweep in IN
    AudioSourceKind kind;
    int source_rate;
    int slack;         // frames a seek may land off (Opus resamples to 48 kHz itself)
    double tolerance;  // mean squared difference from the sweep; FLAC is lossless
};

std::vector<float> read_frames(AudioDecoder& d, long frames) {
    std::vector<float> out(static_cast<size_t>(2 * frames));
    out.resize(static_cast<size_t>(2 * decoder_read(d, out.data(), frames)));
    return out;
}

// Opens the file `command` writes; the sweep's 4 s for the encoders.
AudioDecoderPtr encode_and_open(const TempDir& dir, const std::string& command, std::string& file) {
    write_file(dir.file("in.wav"), sweep_wav(44100, 4.0));
    const std::string run = "cd '" + dir.path + "' && IN=in.wav; OUT=out; " + command + " > /dev/null 2>&1";
    EXPECT_EQ(std::system(run.c_str()), 0) << command;
    file = read_file(dir.file("out"));
    AudioDecoderPtr d;
    EXPECT_EQ(decoder_open(reinterpret_cast<const unsigned char*>(file.data()), file.size(), 44100, &d),
              AUDIO_OK);
    return d;
}

class Encoded : public testing::TestWithParam<Format> {};

}  // namespace

TEST_P(Encoded, IsChosenByContentPlaysItsLengthAndSeeksToTheSample) {
    const Format& f = GetParam();
    TempDir dir;
    std::string file;
    AudioDecoderPtr d = encode_and_open(dir, f.command, file);
    ASSERT_TRUE(d);
    EXPECT_EQ(decoder_kind(*d), f.kind);
    EXPECT_EQ(decoder_source_rate(*d), f.source_rate);
    EXPECT_NEAR(static_cast<double>(read_frames(*d, 10 * 44100).size() / 2), 4.0 * 44100, 64);
    for (int64_t ms : {1234, 3, 2500, 1000, 3333, 40}) {  // backwards and forwards, from mid-stream too
        ASSERT_EQ(decoder_seek_ms(*d, ms), AUDIO_OK) << ms;
        const std::vector<float> got = read_frames(*d, 2048);
        ASSERT_EQ(got.size(), 2u * 2048) << ms;
        // The lag within 64 frames at which the decode best matches the sweep.
        std::pair<int64_t, double> best{0, 1e30};
        for (int64_t lag = std::max<int64_t>(-64, -ms * 441 / 10); lag <= 64; ++lag) {
            double sum = 0;
            for (size_t i = 0; i < 2048; ++i) {
                const double t = static_cast<double>(ms * 441 / 10 + lag + static_cast<int64_t>(i)) / 44100;
                sum += (got[2 * i] - sweep_value(t)) * (got[2 * i] - sweep_value(t));
            }
            if (sum / 2048 < best.second) best = {lag, sum / 2048};
        }
        EXPECT_LE(std::abs(best.first), f.slack) << "seek to " << ms << " ms landed " << best.first << " off";
        EXPECT_LT(best.second, f.tolerance) << ms;
        read_frames(*d, 3000);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, Encoded,
    testing::Values(Format{"flac", "flac -s -f $IN -o $OUT", AUDIO_SOURCE_SNDFILE, 44100, 0, 1e-9},
                    Format{"ogg", "oggenc -Q $IN -o $OUT", AUDIO_SOURCE_VORBIS, 44100, 0, 1e-4},
                    Format{"mp3", "lame --quiet $IN $OUT", AUDIO_SOURCE_SNDFILE, 44100, 0, 1e-3},
                    Format{"opus", "opusenc --quiet $IN $OUT", AUDIO_SOURCE_SNDFILE, 48000, 1, 1e-3}),
    [](const testing::TestParamInfo<Format>& info) { return info.param.name; });

// 32 rows of 0.12 s, then the library's short fade-out; seeks land on the sample of a continuous
// decode.
TEST(Module, IsChosenByContentAndSeeksToTheSampleOfAContinuousDecode) {
    TempDir dir;
    std::string file;
    AudioDecoderPtr whole = encode_and_open(dir, "'" TARVEL_TOOLS_DIR "/make_module' $OUT", file), d;
    ASSERT_TRUE(whole);
    ASSERT_EQ(decoder_open(reinterpret_cast<const unsigned char*>(file.data()), file.size(), 44100, &d),
              AUDIO_OK);
    EXPECT_EQ(decoder_kind(*whole), AUDIO_SOURCE_MODULE);
    const std::vector<float> reference = read_frames(*whole, 10 * 44100);
    EXPECT_NEAR(static_cast<double>(reference.size()) / 2, 3.84 * 44100, 0.2 * 44100);
    for (int64_t ms : {1234, 1000, 60, 3000, 2222}) {
        ASSERT_EQ(decoder_seek_ms(*d, ms), AUDIO_OK);
        const std::vector<float> got = read_frames(*d, 1024);
        ASSERT_EQ(got.size(), 2048u);
        for (size_t i = 0; i < got.size(); ++i)
            ASSERT_NEAR(got[i], reference[2 * static_cast<size_t>(ms * 441 / 10) + i], 1e-3) << ms;
    }
    ASSERT_EQ(decoder_seek_ms(*d, 5000), AUDIO_OK);
    EXPECT_EQ(read_frames(*d, 1).size(), 0u);
}
