// The music as the viewer hears it: demos with sound sections played in real time with SDL's disk
// audio driver, the capture compared sample by sample with the music the test wrote.
#include <filesystem>

#include "player.h"
#include "sound_capture.h"

namespace {

// A real-time demo (no recording) with sound on, writing its audio into the disk driver's capture.
struct Music {
    DiskAudio disk;  // the driver's file and pace, which the player inherits
    Demo demo;
    PlayerOptions options{.env = {{"SDL_AUDIODRIVER", "disk"}}};
    explicit Music(const std::string& settings) {
        demo.settings.resize(4);  // the window and frame sizes only
        demo.set(settings);
        demo.file("music.wav", sweep_wav(44100, 4.0));
        demo.section("[sound]\n" + span(0, 3, 0) + "string music.wav\n");
    }
};

}  // namespace

TEST(Music, ALoopingDemoStartsTheMusicAgainOnEveryPass) {
    Music m("loop 1");
    m.demo.set("demo_end 0.6");  // the music still plays when each pass ends: no stop before the restart
    const PlayerResult r = run_with_viewer(
        m.demo,
        [&](Viewer& v) {
            wait_until([&] { return sweep_appearances(m.disk.capture(), 1) >= 3; });
            v.key("Escape");
        },
        m.options);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    // Nothing on standard error but the notice SDL's disk driver prints when it opens its file.
    EXPECT_EQ(r.err, "WARNING: You are using the SDL disk writer audio driver!\n Writing to file [" +
                         m.disk.file + "].\n");
    const std::vector<int16_t> capture = m.disk.capture();
    EXPECT_GE(sweep_appearances(capture, 1), 3);
    EXPECT_EQ(sweep_appearances(capture, 66150), 0) << "a pass ran on past 1.5 s of music";
}

TEST(Music, WithSoundOffNothingIsOpenedAndABrokenSectionLoads) {
    Music m("sound 0");
    m.demo.section("[sound]\n" + span(0, 0.2f, 0) + "string nowhere.ogg\nstring twice.ogg\n");
    m.demo.set("demo_end 0.2");
    expect_clean_exit(m.demo.run(m.options));
    EXPECT_FALSE(std::filesystem::exists(m.disk.file)) << "the audio device was opened";
}
