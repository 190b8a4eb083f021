// The music path from file to device: decoder, mixer, back end and the sound section, checked
// against the sweep signal, whose every sample is known.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "runtime/registry.h"
#include "media_files.h"
#include "script/section.h"
#include "audio/audio_backend.h"
#include "audio/audio_decoder.h"
#include "audio/audio_mixer.h"
#include "audio/sound_system.h"
#include "sections/demo.h"
#include "sound_capture.h"
#include "sound_media.h"
#include "test_support.h"

namespace {

const unsigned char* bytes(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

// The decoder reads `file` while it plays: keep the string alive as long as the decoder.
AudioDecoderPtr open_ok(const std::string& file) {
    AudioDecoderPtr d;
    EXPECT_EQ(decoder_open(bytes(file), file.size(), 44100, &d), AUDIO_OK);
    return d;
}

// Up to `frames` stereo frames, read in odd-sized chunks so reads straddle the decoder's own.
std::vector<float> read_frames(AudioDecoder& d, long frames = 1L << 30) {
    std::vector<float> out, chunk(2 * 777);
    while (static_cast<long>(out.size() / 2) < frames) {
        long n = decoder_read(d, chunk.data(), std::min(777L, frames - static_cast<long>(out.size() / 2)));
        out.insert(out.end(), chunk.begin(), chunk.begin() + 2 * n);
        if (n == 0) break;
    }
    return out;
}

// A decoder of `frames` frames of one constant value on both sides.
struct ConstantStream {
    ConstantStream(int16_t value, int64_t frames)
        : file(media::wav(44100, 2, frames, [value](int64_t, int) { return value; })),
          decoder(open_ok(file)) {}
    std::string file;
    AudioDecoderPtr decoder;
};

std::vector<int16_t> mix(AudioMixer& m, int frames) {
    std::vector<int16_t> out(static_cast<size_t>(2 * frames), 12345);
    mixer_mix(m, out.data(), frames);
    return out;
}

}  // namespace

// Every format, a WAV at three rates and the rest made from the sweep by Debian's encoders, is
// chosen by its content, plays its length with the mono sweep on both sides and, after seeks
// either way, goes on within `slack` frames of the sweep sample at the mixing rate (Opus resamples
// to 48 kHz itself); a module from the tools' generator seeks to the sample of its own decode.
TEST(AudioDecoder, EveryFormatIsChosenByContentAndSeeksToTheSampleOfTheMillisecond) {
    const std::tuple<const char*, int, AudioSourceKind, int, int, double> formats[] = {
        {"cp in.wav out", 44100, AUDIO_SOURCE_SNDFILE, 44100, 0, 1e-9},
        {"cp in.wav out", 22050, AUDIO_SOURCE_SNDFILE, 22050, 0, 1e-5},
        {"cp in.wav out", 48000, AUDIO_SOURCE_SNDFILE, 48000, 0, 1e-5},
        {"flac -s -f in.wav -o out", 44100, AUDIO_SOURCE_SNDFILE, 44100, 0, 1e-9},  // lossless
        {"oggenc -Q in.wav -o out", 44100, AUDIO_SOURCE_VORBIS, 44100, 0, 1e-4},
        {"lame --quiet in.wav out", 44100, AUDIO_SOURCE_SNDFILE, 44100, 0, 1e-3},
        {"opusenc --quiet in.wav out", 44100, AUDIO_SOURCE_SNDFILE, 48000, 1, 1e-3},
        {"'" TARVEL_TOOLS_DIR "/make_module' out", 44100, AUDIO_SOURCE_MODULE, 44100, 0, 1e-6}};
    for (const auto& [command, in_rate, kind, rate, slack, tolerance] : formats) {
        SCOPED_TRACE(std::string(command) + " " + std::to_string(in_rate));
        TempDir dir;
        write_file(dir.file("in.wav"), sweep_wav(in_rate, 4.0));
        ASSERT_EQ(std::system(("cd '" + dir.path + "' && " + command + " > /dev/null 2>&1").c_str()), 0);
        const std::string file = read_file(dir.file("out"));
        AudioDecoderPtr whole = open_ok(file), d = open_ok(file);
        ASSERT_TRUE(whole && d);
        EXPECT_EQ(decoder_kind(*d), kind);
        EXPECT_EQ(decoder_source_rate(*d), rate);
        const std::vector<float> reference = read_frames(*whole);
        EXPECT_TRUE(decoder_ended(*whole));
        // A module: 32 rows of 0.12 s, then the library's short fade-out.
        EXPECT_NEAR(reference.size() / 2.0, (kind == AUDIO_SOURCE_MODULE ? 3.84 : 4.0) * 44100, 0.2 * 44100);
        for (int64_t ms : {1234, 3, 2500, 1000, 3333, 40}) {
            ASSERT_EQ(decoder_seek_ms(*d, ms), AUDIO_OK);
            const std::vector<float> got = read_frames(*d, 2048);
            ASSERT_EQ(got.size(), 2u * 2048) << ms;
            const int64_t at = ms * 441 / 10;
            std::pair<int64_t, double> best{0, 1e30};  // the lag that matches best, and its error
            for (int64_t lag = std::max<int64_t>(-64, -at); lag <= 64; ++lag) {
                double sum = 0;
                for (int64_t i = 0; i < 2048; ++i) {
                    const double want = kind == AUDIO_SOURCE_MODULE ? reference[2 * (at + lag + i)]
                                                                    : sweep_value((at + lag + i) / 44100.0);
                    sum += (got[2 * i] - want) * (got[2 * i] - want);
                }
                if (sum / 2048 < best.second) best = {lag, sum / 2048};
            }
            EXPECT_LE(std::abs(best.first), slack) << "seek to " << ms << " ms";
            EXPECT_LT(best.second, tolerance) << "seek to " << ms << " ms";
            for (int64_t i = 0; i < 2048 && kind != AUDIO_SOURCE_MODULE; ++i)
                ASSERT_EQ(got[2 * i], got[2 * i + 1]) << ms << " " << i;
        }
        float frame[2];  // past the end it ends; a seek back plays again
        ASSERT_EQ(decoder_seek_ms(*d, 30000000000LL), AUDIO_OK);
        EXPECT_EQ(decoder_read(*d, frame, 1), 0);
        ASSERT_EQ(decoder_seek_ms(*d, 100), AUDIO_OK);
        ASSERT_EQ(decoder_read(*d, frame, 1), 1);
        EXPECT_EQ(decoder_seek_ms(*d, -1), AUDIO_ERR_PARAMETER);
    }
}

TEST(AudioDecoder, StereoKeepsItsSidesAndAFileCutShortPlaysWhatItHas) {
    std::string wav =
        media::wav(44100, 2, 5000, [](int64_t f, int c) { return static_cast<int16_t>(c ? -3 * f : f); });
    for (size_t cut : {wav.size(), size_t{44 + 4 * 1000}}) {
        std::string file = wav.substr(0, cut);
        AudioDecoderPtr d = open_ok(file);
        std::vector<float> all = read_frames(*d);
        ASSERT_EQ(all.size(), 2u * (cut - 44) / 4);
        for (size_t f = 0; f < all.size() / 2; ++f) {
            ASSERT_EQ(all[2 * f] * 32768.0f, f) << f;
            ASSERT_EQ(all[2 * f + 1] * 32768.0f, -3.0f * f) << f;
        }
    }
}

TEST(AudioDecoder, RefusesWhatIsNotAudio) {
    const std::string wav = sweep_wav(44100, 0.1);
    const std::tuple<std::string, int, int> cases[] = {
        {"demo_name Test\n[image]\nstart 0\n", 44100, AUDIO_ERR_FORMAT},  // script text
        {"\x89PNG\r\n\x1a\n" + std::string(200, '\0'), 44100, AUDIO_ERR_FORMAT},
        {"OggS" + std::string(200, '\x01'), 44100, AUDIO_ERR_FORMAT},  // an Ogg page that holds no Vorbis
        {"", 44100, AUDIO_ERR_FORMAT},
        {wav.substr(0, 30), 44100, AUDIO_ERR_FILE_BAD},  // a WAV cut before its data: damaged, not foreign
        {wav, 0, AUDIO_ERR_PARAMETER}};                  // no mixing rate
    for (const auto& [file, rate, code] : cases) {
        AudioDecoderPtr d;
        EXPECT_EQ(decoder_open(file.empty() ? nullptr : bytes(file), file.size(), rate, &d), code)
            << file.size();
        EXPECT_FALSE(d);
    }
}

TEST(AudioMixer, StreamsAddUpClipFreeTheirChannelWhenTheyEndAndRunOutAtTheLimit) {
    AudioMixer m;
    mixer_reset(m, 32);
    for (int16_t v : mix(m, 3000)) ASSERT_EQ(v, 0);  // silence when nothing plays
    ConstantStream plus(1000, 5000), minus(-3000, 5000), loud(30000, 5000), louder(20000, 5000);
    ASSERT_EQ(mixer_attach(m, plus.decoder.get()), 0);
    ASSERT_EQ(mixer_attach(m, minus.decoder.get()), 1);
    for (int16_t v : mix(m, 2500)) ASSERT_EQ(v, -2000);
    EXPECT_TRUE(mixer_detach(m, minus.decoder.get()));
    mixer_attach(m, loud.decoder.get());
    mixer_attach(m, louder.decoder.get());
    for (int16_t v : mix(m, 100)) ASSERT_EQ(v, 32767);

    ConstantStream short_one(500, 700), long_one(100, 5000);
    mixer_reset(m, 4);
    mixer_attach(m, short_one.decoder.get());
    mixer_attach(m, long_one.decoder.get());
    std::vector<int16_t> out = mix(m, 2000);  // more than one mixing block
    EXPECT_EQ((std::vector<int>{out[2 * 699], out[2 * 700 + 1], out[2 * 1999]}),
              (std::vector<int>{600, 100, 100}));
    EXPECT_EQ(m.playing.load(), 1);
    EXPECT_EQ(mixer_channel_of(m, short_one.decoder.get()), -1);

    // A playing decoder keeps its channel.
    ConstantStream s0(1, 100), s1(1, 100), s2(1, 100), s3(1, 100);
    AudioDecoder *a = s0.decoder.get(), *b = s1.decoder.get(), *c = s2.decoder.get(), *d = s3.decoder.get();
    mixer_reset(m, 3);
    EXPECT_EQ((std::vector<int>{mixer_attach(m, a), mixer_attach(m, b), mixer_attach(m, c),
                                mixer_attach(m, d), mixer_attach(m, b), mixer_attach_at(m, d, 0),
                                mixer_detach(m, a), mixer_detach(m, a), mixer_attach_at(m, d, 0)}),
              (std::vector<int>{0, 1, 2, -1, 1, false, true, false, true}));
    mixer_reset(m, 99);
    EXPECT_TRUE(m.channel_limit == AUDIO_MAX_CHANNELS && m.playing.load() == 0);
}

// A pass every 10 ms that works for 1 ms: 10 %, reported once the half-second window has closed.
TEST(CpuMeter, BusyTimeOverWallTimeOncePerHalfSecond) {
    CpuMeter meter;
    cpu_meter_reset(meter);
    for (int i = 0; i < 50; ++i) cpu_meter_add(meter, 100.0 + i * 0.01, 100.0 + i * 0.01 + 0.001);
    EXPECT_EQ(meter.percent.load(), 0.0f);
    cpu_meter_add(meter, 100.5, 100.6);
    EXPECT_NEAR(meter.percent.load(), 10.0f, 0.01f);
}

TEST(AudioBackend, ThirtyTwoStreamsPlayAtOnceAndAStoppedOneFreesItsChannel) {
    DiskAudio disk;
    std::string wav = sweep_wav(44100, 4.0);
    EXPECT_FALSE(audio_start(44100, 33));
    EXPECT_EQ(audio_error(), AUDIO_ERR_PARAMETER);
    ASSERT_TRUE(audio_start(44100, 32)) << audio_error();
    std::vector<AudioStream*> streams;
    for (int i = 0; i < 33; ++i) streams.push_back(audio_stream_open(bytes(wav), wav.size()));
    for (int i = 0; i < 32; ++i) ASSERT_EQ(audio_stream_play(streams[i]), i);
    EXPECT_EQ(audio_stream_play(streams[32]), -1);
    EXPECT_EQ(audio_error(), AUDIO_ERR_CHANNEL);
    ASSERT_TRUE(disk.wait_frames(44100));
    EXPECT_GT(audio_cpu_usage(), 0.0f);
    EXPECT_LT(audio_cpu_usage(), 100.0f);
    audio_stream_stop(streams[5]);
    EXPECT_EQ(audio_stream_play(streams[32]), 5);
    audio_close();
    EXPECT_EQ(audio_channels_playing(), 0);
}

TEST(AudioVersions, TextsCompareByTheirNumbers) {
    EXPECT_EQ((std::vector<bool>{version_at_least("libsndfile-1.10.0", "1.2.0"),
                                 version_at_least("libsamplerate-0.2.2 (c) 2002", "0.2.2"),
                                 version_at_least("Xiph.Org libVorbis 1.3", "1.3.1"),
                                 version_at_least("lib 1. 9", "1.2"),  // a '.' with no digit ends it
                                 version_at_least("no digits", "0"), version_at_least(nullptr, "1.0")}),
              (std::vector<bool>{true, true, false, false, false, false}));
}

// The sound section finds its music inside an archive and starts it at the elapsed
// millisecond (1.2509 s plays from 1250 ms, sample 55125), and stops it.
TEST(SoundSection, StartsTheMusicAtTheElapsedMillisecond) {
    DiskAudio disk;
    TempDir dir;
    ScopedChdir here(dir.path);
    ASSERT_EQ(fatal_message_of([] { sound_init(); }), "");
    write_file(dir.file("pack/music.wav"), sweep_wav(44100, 3.0));
    ASSERT_TRUE(media::zip_directory(dir.file("pack"), dir.file("data.zip")));
    Section s;
    s.type = section_types.find("sound"), s.string_count = 1, s.strings[0] = "data/music.wav",
    s.elapsed = 1.2509f;
    const SectionType& row = *section_types[s.type];
    {
        Demo demo(section_types);
        Frame f = demo_frame(demo);
        ASSERT_EQ(fatal_message_of([&] { row.init(s, f); }), "");
        ASSERT_EQ(fatal_message_of([&] { row.start(s, f); }), "");
        EXPECT_EQ(sound_channels_playing(), 1);
        ASSERT_TRUE(disk.wait_frames(12000));
        row.stop(s, f);
        EXPECT_EQ(sound_channels_playing(), 0);
    }
    sound_close();
    // Played from that sample on, and nothing of the sweep before it.
    EXPECT_EQ(sweep_appearances(disk.capture(), 55125), 1);
    EXPECT_EQ(sweep_appearances(disk.capture(), 55124), 0);
}
