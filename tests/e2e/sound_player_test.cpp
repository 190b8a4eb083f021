// The music as the player plays it: demos with sound sections run with SDL's disk audio
// driver, and the captured output compared with the music files the test wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <future>

#include "demo_builder.h"
#include "sound_capture.h"
#include "x11_input.h"

namespace {

// A real-time demo (no recording) with sound on, writing its audio into capture.raw.
struct MusicDemo : DemoBuilder {
    MusicDemo() {
        settings.erase(std::remove_if(settings.begin(), settings.end(),
                                      [](const std::string& s) { return s == "sound 0" || s == "record 1"; }),
                       settings.end());
    }
    std::string capture_path() const { return dir.file("capture.raw"); }
    void music(const std::string& path, const std::string& bytes) { write_file(dir.file(path), bytes); }
    void sound(const std::string& path, float start, float end) {
        section("[sound]\nstart " + std::to_string(start) + "\nend " + std::to_string(end) + "\nstring " +
                path + "\n");
    }
    PlayerOptions options() const {
        PlayerOptions o;
        o.env["SDL_AUDIODRIVER"] = "disk";
        o.env["SDL_DISKAUDIOFILE"] = capture_path();
        o.env["SDL_DISKAUDIODELAY"] = "23";  // one 1024-frame buffer's real duration
        return o;
    }
    PlayerResult play() const { return run(options()); }
    std::vector<int16_t> capture() const { return s16_samples(read_file(capture_path())); }
};

// Standard error less the notice SDL's disk driver prints when it opens its file.
std::string player_errors(const MusicDemo& demo, const PlayerResult& r) {
    std::string notice = "WARNING: You are using the SDL disk writer audio driver!\n Writing to file [" +
                         demo.capture_path() + "].\n";
    std::string err = r.err;
    for (size_t at; (at = err.find(notice)) != std::string::npos;) err.erase(at, notice.size());
    return err;
}

void expect_clean_end(const MusicDemo& demo, const PlayerResult& r) {
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(player_errors(demo, r), "");
}

}  // namespace

TEST(SoundPlayer, TheMusicPlaysFromItsFirstSample) {
    MusicDemo demo;
    demo.music("data/music.wav", sweep_wav(44100, 2.0));
    demo.sound("data/music.wav", 0, 1.0f);
    expect_clean_end(demo, demo.play());
    std::vector<int16_t> capture = demo.capture();
    ASSERT_GT(first_sound(capture), -1) << "the capture is silent";
    EXPECT_GE(sweep_match(capture, 0, 16384), 16384);
}

TEST(SoundPlayer, ADemoStartedTwoSecondsInHearsTheMusicFromTwoSeconds) {
    MusicDemo demo;
    demo.set("demo_start 2");
    demo.music("music.wav", sweep_wav(44100, 4.0));
    demo.sound("music.wav", 0, 3.0f);
    expect_clean_end(demo, demo.play());
    std::vector<int16_t> capture = demo.capture();
    EXPECT_GE(sweep_match(capture, 88200, 16384), 16384);
    EXPECT_EQ(sweep_appearances(capture, 1), 0) << "the music's beginning was heard";
}

TEST(SoundPlayer, OverlappingSoundSectionsMix) {
    MusicDemo demo;
    demo.music("sweep.wav", sweep_wav(44100, 4.0));
    demo.music("hum.wav", wav_bytes(44100, 2, 4 * 44100, [](int64_t, int) { return int16_t{1000}; }));
    demo.sound("sweep.wav", 0, 2.0f);
    demo.sound("hum.wav", 0.5f, 1.5f);
    expect_clean_end(demo, demo.play());
    std::vector<int16_t> capture = demo.capture();
    int64_t begin = first_sound(capture, 0);
    ASSERT_GE(begin, 0);
    // The sweep started first: from its first sample on, every frame is the sweep alone or the
    // sweep plus the hum, until the output falls silent at the end.
    int64_t end = static_cast<int64_t>(capture.size() / 2);
    while (end > begin && capture[2 * (end - 1)] == 0 && capture[2 * (end - 1) + 1] == 0) --end;
    int64_t alone = 0, mixed = 0, other = 0, hum_start = -1;
    for (int64_t f = begin; f < end; ++f) {
        int diff = capture[2 * f] - sweep_sample(f - begin + 1, 44100);
        int diff_right = capture[2 * f + 1] - sweep_sample(f - begin + 1, 44100);
        if (diff == 0 && diff_right == 0) {
            ++alone;
        } else if (diff == 1000 && diff_right == 1000) {
            ++mixed;
            if (hum_start < 0) hum_start = f - begin;
        } else {
            ++other;
        }
    }
    EXPECT_EQ(other, 0);
    EXPECT_GT(alone, 44100 / 4);
    EXPECT_GT(mixed, 44100 / 2);
    // The hum came in about half a second after the sweep.
    EXPECT_GT(hum_start, 44100 / 5);
    EXPECT_LT(hum_start, 44100);
}

TEST(SoundPlayer, ALoopingDemoStartsTheMusicAgainOnEveryPass) {
    MusicDemo demo;
    demo.set("loop 1");
    demo.set("demo_end 0.6");
    demo.music("music.wav", sweep_wav(44100, 4.0));
    demo.sound("music.wav", 0, 3.0f);  // still playing when each pass ends: no stop before the restart
    std::string display = xvfb_display();
    X11Input x(display);
    ASSERT_TRUE(x.ready()) << display;
    PlayerOptions options = demo.options();
    options.timeout_seconds = 40;
    auto player = std::async(std::launch::async, [&] { return demo.run(options); });
    ASSERT_NE(x.wait_for_window("Tarvel", 20), 0u);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (sweep_appearances(demo.capture(), 1) < 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    x.key(x.window("Tarvel"), XK_Escape);
    expect_clean_end(demo, player.get());
    std::vector<int16_t> capture = demo.capture();
    EXPECT_GE(sweep_appearances(capture, 1), 3);
    EXPECT_EQ(sweep_appearances(capture, 66150), 0) << "a pass ran on past 1.5 s of music";
}

TEST(SoundPlayer, SoundProblemsEndTheLoadWithTheirMessages) {
    struct Case {
        std::string section;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"[sound]\nstart 0\nend 1\nstring a.wav\nstring b.wav\n", "One string needed in sound"},
        {"[sound]\nstart 0\nend 1\n", "One string needed in sound"},
        {"[sound]\nstart 0\nend 1\nstring data/missing.ogg\n", "File 'data/missing.ogg' not found"},
        {"[sound]\nstart 0\nend 1\nstring notes.txt\n", "Unknown file format"},
    };
    for (const Case& c : cases) {
        MusicDemo demo;
        demo.music("notes.txt", "just some words, not music\n");
        demo.section(c.section);
        PlayerResult r = demo.play();
        EXPECT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_status, 255) << c.section;
        EXPECT_EQ(player_errors(demo, r), "Error: " + c.message + "\n") << c.section;
        EXPECT_NE(demo.dialog_log().find(c.message), std::string::npos) << demo.dialog_log();
    }
}

TEST(SoundPlayer, WithSoundOffNothingIsOpenedAndABrokenSectionLoads) {
    MusicDemo demo;
    demo.set("sound 0");
    demo.section("[sound]\nstart 0\nend 0.2\nstring nowhere.ogg\nstring twice.ogg\n");
    expect_clean_end(demo, demo.play());
    EXPECT_FALSE(std::filesystem::exists(demo.capture_path())) << "the audio device was opened";
}
