// Decoding and seeking for every compressed format the player accepts, on files made at test time
// by Debian's own encoders from the sweep, and a module from the tools' generator: each is chosen
// by its content, plays its whole length and seeks to the sample.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "audio/audio_backend.h"
#include "audio/audio_decoder.h"
#include "sound_media.h"
#include "test_support.h"

namespace {

struct Format {
    const char* name;
    const char* command;  // IN and OUT stand for the files
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

// The lag (within 64 frames) at which 2048 decoded frames best match the sweep from `target`.
std::pair<int64_t, double> best_lag(const std::vector<float>& got, int64_t target) {
    std::pair<int64_t, double> best{0, 1e30};
    for (int64_t lag = -64; lag <= 64; ++lag) {
        if (target + lag < 0) continue;
        double sum = 0;
        for (size_t i = 0; i < 2048; ++i) {
            const double d =
                got[2 * i] -
                sweep_value(static_cast<double>(target + lag + static_cast<int64_t>(i)) / 44100.0);
            sum += d * d;
        }
        if (sum / 2048 < best.second) best = {lag, sum / 2048};
    }
    return best;
}

class Encoded : public testing::TestWithParam<Format> {};

}  // namespace

TEST_P(Encoded, IsChosenByContentPlaysItsLengthAndSeeksToTheSample) {
    const Format& f = GetParam();
    TempDir dir;
    write_file(dir.file("sweep.wav"), sweep_wav(44100, 4.0));
    std::string command = f.command;
    command.replace(command.find("IN"), 2, "'" + dir.file("sweep.wav") + "'");
    command.replace(command.find("OUT"), 3, "'" + dir.file(f.name) + "'");
    ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
    const std::string file = read_file(dir.file(f.name));
    AudioDecoderPtr d;
    ASSERT_EQ(decoder_open(reinterpret_cast<const unsigned char*>(file.data()), file.size(), 44100, &d),
              AUDIO_OK);
    EXPECT_EQ(decoder_kind(*d), f.kind);
    EXPECT_EQ(decoder_source_rate(*d), f.source_rate);
    int64_t frames = 0;
    std::vector<float> chunk(2 * 4096);
    for (long n; (n = decoder_read(*d, chunk.data(), 4096)) > 0;) frames += n;
    EXPECT_NEAR(static_cast<double>(frames), 4.0 * 44100, 64);
    // Seeks backwards and forwards, from mid-stream too.
    for (int64_t ms : {1234, 3, 2500, 1000, 3333, 40}) {
        ASSERT_EQ(decoder_seek_ms(*d, ms), AUDIO_OK) << ms;
        const std::vector<float> got = read_frames(*d, 2048);
        ASSERT_EQ(got.size(), 2u * 2048) << ms;
        auto [lag, error] = best_lag(got, ms * 44100 / 1000);
        EXPECT_LE(std::abs(lag), f.slack) << "seek to " << ms << " ms landed " << lag << " frames off";
        EXPECT_LT(error, f.tolerance) << ms;
        read_frames(*d, 3000);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, Encoded,
    testing::Values(Format{"sweep.flac", "flac -s -f IN -o OUT", AUDIO_SOURCE_SNDFILE, 44100, 0, 1e-9},
                    Format{"sweep.ogg", "oggenc -Q IN -o OUT", AUDIO_SOURCE_VORBIS, 44100, 0, 1e-4},
                    Format{"sweep.mp3", "lame --quiet IN OUT", AUDIO_SOURCE_SNDFILE, 44100, 0, 1e-3},
                    Format{"sweep.opus", "opusenc --quiet IN OUT", AUDIO_SOURCE_SNDFILE, 48000, 1, 1e-3}),
    [](const testing::TestParamInfo<Format>& info) { return std::string(info.param.name).substr(6); });

TEST(Module, IsChosenByContentAndSeeksToTheSampleOfAContinuousDecode) {
    TempDir dir;
    ASSERT_EQ(
        std::system(
            ("'" + std::string(TARVEL_TOOLS_DIR) + "/make_module' '" + dir.file("tune.mod") + "'").c_str()),
        0);
    const std::string file = read_file(dir.file("tune.mod"));
    AudioDecoderPtr whole, d;
    ASSERT_EQ(decoder_open(reinterpret_cast<const unsigned char*>(file.data()), file.size(), 44100, &whole),
              AUDIO_OK);
    ASSERT_EQ(decoder_open(reinterpret_cast<const unsigned char*>(file.data()), file.size(), 44100, &d),
              AUDIO_OK);
    EXPECT_EQ(decoder_kind(*whole), AUDIO_SOURCE_MODULE);
    const std::vector<float> reference = read_frames(*whole, 10 * 44100);
    // 32 rows of 0.12 s, then the library's short fade-out.
    EXPECT_NEAR(static_cast<double>(reference.size()) / 2, 3.84 * 44100, 0.2 * 44100);
    for (int64_t ms : {1234, 1000, 60, 3000, 2222}) {
        ASSERT_EQ(decoder_seek_ms(*d, ms), AUDIO_OK);
        const std::vector<float> got = read_frames(*d, 1024);
        ASSERT_EQ(got.size(), 2048u);
        const size_t first = static_cast<size_t>(ms * 44100 / 1000);
        double worst = 0;
        for (size_t i = 0; i < got.size(); ++i)
            worst = std::max(worst, std::fabs(double(got[i]) - reference[2 * first + i]));
        EXPECT_LT(worst, 1e-3) << ms;
    }
    ASSERT_EQ(decoder_seek_ms(*d, 5000), AUDIO_OK);
    float frame[2];
    EXPECT_EQ(decoder_read(*d, frame, 1), 0);
}
