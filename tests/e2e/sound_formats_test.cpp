// Decoding and seeking for every accepted format, on files made at test time: the sweep
// encoded by Debian's own encoders, and a module from the tools' generator.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "sections/audio_backend.h"
#include "sections/audio_decoder.h"
#include "sound_media.h"
#include "test_support.h"

namespace {

constexpr double SWEEP_SECONDS = 4.0;

bool run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// The sweep written as a WAV and encoded into `name` by `encoder` (a command with IN and OUT).
std::string encoded_sweep(const TempDir& dir, const std::string& name, std::string command) {
    std::string wav = dir.file("sweep.wav");
    write_file(wav, sweep_wav(44100, SWEEP_SECONDS));
    std::string out = dir.file(name);
    command.replace(command.find("IN"), 2, "'" + wav + "'");
    command.replace(command.find("OUT"), 3, "'" + out + "'");
    EXPECT_TRUE(run(command + " >/dev/null 2>&1")) << command;
    return read_file(out);
}

struct Decoded {
    std::string file;
    AudioDecoderPtr decoder;
    int open_code = -1;
};

void open_file(Decoded& d) {
    d.open_code =
        decoder_open(reinterpret_cast<const unsigned char*>(d.file.data()), d.file.size(), 44100, &d.decoder);
}

std::vector<float> read_frames(AudioDecoder& d, long frames) {
    std::vector<float> out(static_cast<size_t>(2 * frames));
    out.resize(static_cast<size_t>(2 * decoder_read(d, out.data(), frames)));
    return out;
}

// Mean squared difference between the left channel of `got` and the sweep from output frame
// `first`.
double sweep_distance(const std::vector<float>& got, int64_t first, size_t count) {
    double sum = 0;
    for (size_t i = 0; i < count; ++i) {
        double d = got[2 * i] - sweep_value(static_cast<double>(first + static_cast<int64_t>(i)) / 44100.0);
        sum += d * d;
    }
    return sum / static_cast<double>(count);
}

// Seeks to each time in turn (after reading a little, so seeks start mid-stream too) and
// checks that the sweep resumes at the right frame: the best-matching frame within 64 of the
// target is the target itself (or `slack` frames off) and the match is close.
void expect_seeks_land(AudioDecoder& d, int slack, double tolerance) {
    for (int64_t ms : {1234, 3, 2500, 1000, 3333, 40}) {
        ASSERT_EQ(decoder_seek_ms(d, ms), AUDIO_OK) << ms;
        std::vector<float> got = read_frames(d, 2048);
        ASSERT_EQ(got.size(), 2u * 2048) << ms;
        int64_t target = ms * 44100 / 1000;
        int64_t best = 0;
        double best_distance = 1e30;
        for (int64_t lag = -64; lag <= 64; ++lag) {
            if (target + lag < 0) continue;
            double e = sweep_distance(got, target + lag, 2048);
            if (e < best_distance) {
                best_distance = e;
                best = lag;
            }
        }
        EXPECT_LE(std::abs(best), slack) << "seek to " << ms << " ms landed " << best << " frames off";
        EXPECT_LT(best_distance, tolerance) << ms;
        read_frames(d, 3000);
    }
}

}  // namespace

// Each encoded sweep: the decoder it goes through, its source rate, and how close a seek must
// land (the Opus encoder's own resampling to 48 kHz may shift the sweep by a fraction of a
// frame). FLAC is lossless, so its samples must come back exactly.
TEST(SoundFormats, EncodedFilesSeekToTheSampleAndPlayForTheirWholeLength) {
    struct Case {
        const char* name;
        const char* command;
        AudioSourceKind kind;
        int source_rate;
        int slack;
        double tolerance;
    };
    for (const Case& c :
         {Case{"sweep.flac", "flac -s -f IN -o OUT", AUDIO_SOURCE_SNDFILE, 44100, 0, 1e-9},
          Case{"sweep.ogg", "oggenc -Q IN -o OUT", AUDIO_SOURCE_VORBIS, 44100, 0, 1e-4},
          Case{"sweep.mp3", "lame --quiet IN OUT", AUDIO_SOURCE_SNDFILE, 44100, 0, 1e-3},
          Case{"sweep.opus", "opusenc --quiet IN OUT", AUDIO_SOURCE_SNDFILE, 48000, 1, 1e-3}}) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        Decoded whole{encoded_sweep(dir, c.name, c.command)};
        open_file(whole);
        ASSERT_EQ(whole.open_code, AUDIO_OK);
        EXPECT_EQ(decoder_kind(*whole.decoder), c.kind);
        EXPECT_EQ(decoder_source_rate(*whole.decoder), c.source_rate);
        int64_t frames = 0;
        std::vector<float> chunk(2 * 4096);
        for (long n; (n = decoder_read(*whole.decoder, chunk.data(), 4096)) > 0;) frames += n;
        EXPECT_NEAR(static_cast<double>(frames), SWEEP_SECONDS * 44100, 64);

        Decoded d{whole.file};
        open_file(d);
        ASSERT_EQ(d.open_code, AUDIO_OK);
        if (c.tolerance < 1e-6) {
            for (int64_t ms : {2000, 17, 3999}) {
                ASSERT_EQ(decoder_seek_ms(*d.decoder, ms), AUDIO_OK);
                std::vector<float> got = read_frames(*d.decoder, 4);
                ASSERT_FALSE(got.empty());
                for (size_t i = 0; i < got.size() / 2; ++i)
                    EXPECT_EQ(got[2 * i] * 32768.0f,
                              sweep_sample(ms * 441 / 10 + static_cast<int64_t>(i), 44100))
                        << ms;
            }
        }
        expect_seeks_land(*d.decoder, c.slack, c.tolerance);
    }
}

TEST(SoundFormats, TrackerModuleIsChosenByContentAndSeeksToTheSample) {
    TempDir dir;
    std::string path = dir.file("tune.mod");
    ASSERT_TRUE(run(std::string("'") + TARVEL_TOOLS_DIR + "/make_module' '" + path + "'"));
    Decoded whole{read_file(path)};
    open_file(whole);
    ASSERT_EQ(whole.open_code, AUDIO_OK);
    EXPECT_EQ(decoder_kind(*whole.decoder), AUDIO_SOURCE_MODULE);
    std::vector<float> reference = read_frames(*whole.decoder, 10 * 44100);
    // 32 rows of 0.12 s, then the library's short fade-out.
    EXPECT_NEAR(static_cast<double>(reference.size()) / 2, 3.84 * 44100, 0.2 * 44100);
    double energy = 0;
    for (float v : reference) energy += v * v;
    EXPECT_GT(energy / static_cast<double>(reference.size()), 1e-3);

    Decoded d{whole.file};
    open_file(d);
    ASSERT_EQ(d.open_code, AUDIO_OK);
    for (int64_t ms : {1234, 1000, 60, 3000, 2222}) {
        ASSERT_EQ(decoder_seek_ms(*d.decoder, ms), AUDIO_OK);
        std::vector<float> got = read_frames(*d.decoder, 1024);
        size_t first = static_cast<size_t>(ms * 44100 / 1000);
        ASSERT_EQ(got.size(), 2048u);
        double worst = 0;
        for (size_t i = 0; i < got.size(); ++i)
            worst = std::max(worst, std::fabs(double(got[i]) - reference[2 * first + i]));
        EXPECT_LT(worst, 1e-3) << ms;
    }
    ASSERT_EQ(decoder_seek_ms(*d.decoder, 5000), AUDIO_OK);
    float frame[2];
    EXPECT_EQ(decoder_read(*d.decoder, frame, 1), 0);
}

TEST(SoundFormats, DamagedFilesAreRefusedOrPlayedButNeverCrashOrRunOn) {
    TempDir dir;
    std::vector<std::string> files = {
        sweep_wav(44100, SWEEP_SECONDS),
        encoded_sweep(dir, "sweep.flac", "flac -s -f IN -o OUT"),
        encoded_sweep(dir, "sweep.ogg", "oggenc -Q IN -o OUT"),
        encoded_sweep(dir, "sweep.mp3", "lame --quiet IN OUT"),
        encoded_sweep(dir, "sweep.opus", "opusenc --quiet IN OUT"),
    };
    ASSERT_TRUE(run(std::string("'") + TARVEL_TOOLS_DIR + "/make_module' '" + dir.file("tune.mod") + "'"));
    files.push_back(read_file(dir.file("tune.mod")));
    uint32_t random = 12345;
    auto next = [&random] { return random = random * 1664525u + 1013904223u; };
    int opened = 0;
    int refused = 0;
    for (const std::string& original : files) {
        ASSERT_FALSE(original.empty());
        for (int variant = 0; variant < 24; ++variant) {
            Decoded d{original};
            if (variant % 3 == 2) {
                d.file.resize(next() % d.file.size());
            } else {
                int flips = 1 + static_cast<int>(next() % 24);
                // Early bytes (headers) are damaged more often than the rest.
                for (int i = 0; i < flips; ++i) {
                    size_t span = i % 2 == 0 ? std::min<size_t>(d.file.size(), 256) : d.file.size();
                    d.file[next() % span] = static_cast<char>(next());
                }
            }
            open_file(d);
            if (d.open_code != AUDIO_OK) {
                EXPECT_TRUE(d.open_code == AUDIO_ERR_FORMAT || d.open_code == AUDIO_ERR_FILE_BAD ||
                            d.open_code == AUDIO_ERR_VERSION || d.open_code == AUDIO_ERR_MEMORY)
                    << d.open_code;
                EXPECT_FALSE(d.decoder);
                ++refused;
                continue;
            }
            ++opened;
            // It plays no longer than its header or song says (a module adds a short fade-out).
            int64_t length = decoder_length(*d.decoder);
            int64_t limit = (length >= 0 ? length : 600 * 44100) + 44100;
            int64_t frames = 0;
            std::vector<float> chunk(2 * 4096);
            for (long n; frames <= limit && (n = decoder_read(*d.decoder, chunk.data(), 4096)) > 0;)
                frames += n;
            EXPECT_LE(frames, limit) << "format " << decoder_kind(*d.decoder) << ", variant " << variant;
            EXPECT_TRUE(decoder_ended(*d.decoder));
            int code = decoder_seek_ms(*d.decoder, 1000);
            EXPECT_TRUE(code == AUDIO_OK || code == AUDIO_ERR_FILE_BAD) << code;
            if (code == AUDIO_OK) decoder_read(*d.decoder, chunk.data(), 4096);
        }
    }
    // Both outcomes happened: the damage was real, and not every file became unreadable.
    EXPECT_GT(opened, 0);
    EXPECT_GT(refused, 0);
}
