// The maker's mode driven as an editor would: commands on standard input, files changed under
// the running player, pictures read back from its screenshots.
#include <filesystem>
#include <thread>

#include "player.h"
#include "sound_capture.h"

namespace {

bool settles(MakerSession& player, const std::function<bool(const TgaPicture&)>& shows) {
    return wait_until([&] { return shows(player.screenshot("look.tga")); }, 10);
}

}  // namespace

TEST(MakersMode, ReloadsChangedFilesAndOutlivesErrorsAtTheirTime) {
    Demo demo;
    demo.set("gl_height 180");  // the 16:9 band fills the window: the error panel lies over the picture
    demo.picture("data/back.tga", 16, 16, red);
    demo.background("data/back.tga", 0, 10);
    // Recorded at 25 frames a second, frame 5 (0.2 s) cannot be written: the show stands at the
    // time it failed, not at its start.
    std::filesystem::create_directories(demo.dir.file("video/00000005.tga"));
    MakerSession player(demo);
    EXPECT_TRUE(wait_until([&] { return player.err().find("00000005.tga") != std::string::npos; }, 15))
        << player.err();
    EXPECT_EQ(player.ask("time"), "ok 0.200 paused");
    ASSERT_EQ(player.ask("pause"), "ok") << player.err();
    ASSERT_EQ(player.ask("seek 2.5"), "ok");
    // The middle of a screenshot is the demo's picture, clear of the panels.
    EXPECT_COLOUR(colour_at(player.screenshot("before.tga"), 0.5f, 0.5f), red, 2);
    // Standard input never writes over a file of the demo: refused, the picture and the script
    // stay the demo's, and their edits below reload.
    TempDir elsewhere;
    for (const char* file : {"demo.tvl", "./data/back.tga"})
        EXPECT_EQ(player.ask(std::string("screenshot ") + file),
                  std::string("error cannot write '") + file + "': it is a file of the demo");

    // A picture changed under the running player.
    demo.picture("data/back.tga", 16, 16, green);
    EXPECT_TRUE(
        settles(player, [](const TgaPicture& p) { return near(colour_at(p, 0.5f, 0.5f), green, 2); }));

    // A broken script: the message on standard error, the last picture kept under the error.
    demo.sections.back() += "bogus 1\n";
    demo.write();
    EXPECT_TRUE(wait_until(
        [&] { return player.err().find("Error: Unknown section variable") != std::string::npos; }));
    EXPECT_NE(player.err().find("(script './demo.tvl', line 17)"), std::string::npos) << player.err();
    TgaPicture broken = player.screenshot("broken.tga");
    EXPECT_COLOUR(colour_at(broken, 0.5f, 0.5f), green, 2);
    // The screenshot is the player's own file: no reload, so the error was reported once.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    const std::string err = player.err();
    EXPECT_EQ(err.find("Error: Unknown"), err.rfind("Error: Unknown")) << err;
    EXPECT_FALSE(near(colour_at(broken, 0.02f, 0.98f), green, 60)) << "no error panel at the top";
    EXPECT_EQ(player.ask("time"), "ok 2.500 paused");

    // Fixed, the demo is back at the time it had.
    demo.sections.back().erase(demo.sections.back().find("bogus 1\n"));
    demo.write();
    EXPECT_TRUE(
        settles(player, [](const TgaPicture& p) { return near(colour_at(p, 0.02f, 0.98f), green, 2); }));
    EXPECT_EQ(player.ask("time"), "ok 2.500 paused");

    // A picture that no longer decodes fails the load itself, after the scripts passed.
    demo.file("data/back.tga", "not a picture");
    EXPECT_TRUE(wait_until([&] { return player.err().find("data/back.tga") != std::string::npos; }));
    EXPECT_EQ(player.ask("seek 3"), "ok");
    EXPECT_COLOUR(colour_at(player.screenshot("broken.tga"), 0.5f, 0.5f), green, 2);
    demo.picture("data/back.tga", 16, 16, red);
    EXPECT_TRUE(
        settles(player, [](const TgaPicture& p) { return near(colour_at(p, 0.02f, 0.98f), red, 2); }));
    EXPECT_EQ(player.ask("time"), "ok 3.000 paused");

    // A file that looks unchanged (size and time) is not read again when another file changes:
    // the frame turned over by an inverse effect shows the red kept, not the green written.
    // Stamped before it is moved in, so that no look of the watcher sees it with a new time.
    const auto stamp = std::filesystem::last_write_time(demo.dir.file("data/back.tga"));
    write_tga(elsewhere.file("back.tga"), 16, 16, solid_rgb(16, 16, green[0], green[1], green[2]));
    std::filesystem::last_write_time(elsewhere.file("back.tga"), stamp);
    std::filesystem::rename(elsewhere.file("back.tga"), demo.dir.file("data/back.tga"));
    demo.section("[efxInverse]\n" + span(0, 10, 5));
    demo.write();
    EXPECT_TRUE(settles(player, [](const TgaPicture& p) { return near(colour_at(p, 0.5f, 0.5f), cyan, 2); }));
    // A tempo a reload brings: bars and beats taken and told (at 120 bpm and 4 beats a bar, a
    // beat is 0.5 s and 3 s is bar 2 beat 3); the window's size it brings is not: the open window
    // keeps its size and its band.
    demo.set("bpm 120");
    demo.set("gl_width 640");
    demo.set("gl_height 480");
    demo.write();
    EXPECT_TRUE(wait_until([&] { return player.ask("time") == "ok 3.000 paused bar 2:3.000"; }));
    const TgaPicture kept = player.screenshot("kept.tga");
    EXPECT_EQ(kept.width, 320);
    EXPECT_EQ(kept.height, 180);
    EXPECT_COLOUR(colour_at(kept, 0.5f, 0.98f), cyan, 2);
    EXPECT_EQ(player.ask("seek 2:2"), "ok");
    EXPECT_EQ(player.ask("time"), "ok 2.500 paused bar 2:2.000");
    EXPECT_EQ(player.ask("quit"), "ok");
    EXPECT_EQ(player.wait_exit(), 0);
}

TEST(MakersMode, SeeksShowWhatARunStartedThereShowsFirst) {
    // A fade from red to blue between 1 s and 5 s (its colour tells the time to within a frame)
    // under two clouds of sprites scattered at random while they load: one gone by the times
    // sought, which a run started there does not load, so its draws must not count. The window
    // and its 16:9 band (256 x 9/16 = 144 rows) are the frame's own size, so the screenshot shows
    // the recorded frame pixel for pixel.
    Demo demo;
    for (const char* line : {"gl_width 256", "gl_height 144", "gl_rttHeight 144"}) demo.set(line);
    demo.picture("data/white.tga", 8, 8, white);
    demo.background("data/white.tga", 0, 6);
    demo.section("[efxFader]\n" + span(1, 5, 1) + "param 1 0 0 1  0 0 1 1\n");
    demo.file("data/eye.spl", "5.8 3 13.8 0 0 0 0 0.5 0 60 0.3 300\n5.8 3 13.8 0 0 0 0 0.5 0 60 0.3 300\n");
    demo.section("[camera]\n" + span(0, 6, 2) + "spline data/eye.spl\n");
    for (float end : {1.0f, 6.0f})
        demo.section("[particleTex]\n" + span(0, end, 3) +
                     "string data/white.tga\nstring data/white.tga\nparam 0.5 0.15 6  0 0 0  1 1\n");
    MakerSession player(demo);
    ASSERT_EQ(player.ask("pause"), "ok") << player.err();
    for (const char* t : {"4.2", "1.6", "3"}) {
        ASSERT_EQ(player.ask(std::string("seek ") + t), "ok");
        const TgaPicture seen = player.screenshot("seek.tga");
        Demo started;
        started.settings = demo.settings;
        started.picture("data/white.tga", 8, 8, white);
        started.file("data/eye.spl", read_file(demo.dir.file("data/eye.spl")));
        started.sections = demo.sections;
        PlayerResult r = started.run({.args = {"--start", t, "--end", t}});
        ASSERT_EQ(r.exit_status, 0) << r.err;
        const TgaPicture first = started.frame(0);
        ASSERT_EQ(seen.width, first.width);
        ASSERT_EQ(seen.height, first.height);
        // Every row above the status line.
        int differ = 0;
        for (int y = 20; y < first.height; ++y)
            for (int x = 0; x < first.width; ++x) differ += !near(seen.at(x, y), first.at(x, y), 2);
        EXPECT_EQ(differ, 0) << "at " << t;
    }
}

TEST(MakersMode, TwoHundredShowcaseReloadsKeepMemoryFlat) {
    // Every reload of the showcase reads its models, splines and music again (and any picture the
    // texture pool did not keep): kept, they would add megabytes each time.
    Demo demo;
    demo.use_example("showcase", 4);
    demo.set("sound 1");
    demo.set("record 0");
    // Under AddressSanitizer freed memory waits in quarantine, which would look like growth.
    const char* asan = std::getenv("ASAN_OPTIONS");
    setenv("ASAN_OPTIONS", ((asan ? std::string(asan) + ":" : "") + "quarantine_size_mb=0").c_str(), 1);
    MakerSession player(demo);
    ASSERT_EQ(player.ask("pause"), "ok") << player.err();
    ASSERT_EQ(player.ask("seek 30"), "ok");
    for (int i = 0; i < 10; ++i) ASSERT_EQ(player.ask("reload"), "ok") << player.death() << player.err();
    const long warm = player.memory_kb();
    for (int i = 0; i < 200; ++i) ASSERT_EQ(player.ask("reload"), "ok") << player.death() << player.err();
    EXPECT_LT(player.memory_kb() - warm, 16 * 1024) << "from " << warm << " kB";
    EXPECT_EQ(player.err(), "");
}

TEST(MakersMode, MusicPlaysFromTheTimeSeekedToAndNotBeforeItsStart) {
    DiskAudio audio;
    Demo demo;
    demo.set("sound 1");
    demo.set("record 0");  // the clock follows the wall clock, as the music does
    demo.file("data/music.wav", sweep_wav(44100, 6));
    demo.section("[sound]\n" + span(1, 7, 0) + "string data/music.wav\n");
    MakerSession player(demo);
    ASSERT_EQ(player.ask("seek 2"), "ok") << player.err();
    ASSERT_TRUE(audio.wait_frames(22050));
    // Paused, the music holds; at 4.5 s, then played, it goes on from 3.5 s into the file, to
    // the frame.
    ASSERT_EQ(player.ask("pause"), "ok");
    const int64_t held = audio.frames_written() + 2048;
    ASSERT_TRUE(audio.wait_frames(2048 + 8820));
    const std::vector<int16_t> paused = audio.capture();
    EXPECT_EQ(std::count(paused.begin() + 2 * held, paused.begin() + 2 * (held + 8820), 0), 2 * 8820);
    ASSERT_EQ(player.ask("seek 4.5"), "ok");
    ASSERT_EQ(player.ask("play"), "ok");
    ASSERT_TRUE(audio.wait_frames(22050));
    EXPECT_EQ(sweep_appearances(audio.capture(), 154350), 1);
    // Back before the music starts: silence until 1 s of demo time.
    ASSERT_EQ(player.ask("seek 0.2"), "ok");
    const int64_t mark = audio.frames_written() + 2048;
    ASSERT_TRUE(audio.wait_frames(2048 + 13230));
    const std::vector<int16_t> after = audio.capture();
    EXPECT_EQ(std::count(after.begin() + 2 * mark, after.begin() + 2 * (mark + 13230), 0), 2 * 13230);
}

TEST(MakersMode, KeysPauseSeekAndSetTheLoopAndPlayStopsAtTheEnd) {
    Viewer viewer;
    Demo demo;
    demo.set("record 0");
    demo.picture("data/back.tga", 8, 8, red);
    demo.background("data/back.tga", 0, 30);
    MakerSession player(demo);
    ASSERT_TRUE(wait_until([&] { return viewer.window_open(); })) << player.err();
    // Answered once the demo has loaded: keys pressed during the load phase go to the loading screen.
    ASSERT_EQ(player.ask("time").rfind("ok ", 0), 0u);
    auto after = [&](const char* key, const std::string& answer) {
        viewer.key(key);
        std::string got;
        EXPECT_TRUE(wait_until([&] { return (got = player.ask("time")) == answer; }, 5))
            << key << ": " << got;
    };
    viewer.key("p");
    EXPECT_TRUE(wait_until([&] { return player.ask("time").find("paused") != std::string::npos; }, 5));
    after("Home", "ok 0.000 paused");
    after("Up", "ok 10.000 paused");
    after("Right", "ok 11.000 paused");
    after("Left", "ok 10.000 paused");
    after("Down", "ok 0.000 paused");
    // A loop from 1 to 2 s, set by keys while paused, keeps the played time inside it.
    after("Right", "ok 1.000 paused");
    viewer.key("bracketleft");
    after("Right", "ok 2.000 paused");
    viewer.key("bracketright");
    viewer.key("p");
    std::string got;
    EXPECT_TRUE(
        wait_until([&] { return (got = player.ask("time")).find("playing") != std::string::npos; }, 5));
    for (int look = 0; look < 6; ++look) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        got = player.ask("time");
        EXPECT_TRUE(std::stof(got.substr(3)) >= 1 && std::stof(got.substr(3)) < 2.2f) << got;
    }
    // Cleared, the time runs past it.
    viewer.key("BackSpace");
    EXPECT_TRUE(wait_until([&] { return std::stof(player.ask("time").substr(3)) > 2.5f; }, 5));
    // A script broken, then mended in a way the folder's stamps do not show (same size, same
    // time): only R brings the demo back.
    demo.sections.back() += "bogus 1\n";
    demo.write();
    EXPECT_TRUE(wait_until([&] { return player.ask("time").find("paused") != std::string::npos; }, 5));
    const auto stamp = std::filesystem::last_write_time(demo.dir.file("demo.tvl"));
    demo.sections.back().replace(demo.sections.back().find("bogus 1\n"), 8, ";ogus 1\n");
    demo.write();
    std::filesystem::last_write_time(demo.dir.file("demo.tvl"), stamp);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_NE(player.ask("time").find("paused"), std::string::npos);
    viewer.key("r");
    EXPECT_TRUE(wait_until([&] { return player.ask("time").find("playing") != std::string::npos; }, 5));

    // Played on, the show stops at its end, where a seek past it stands too.
    EXPECT_EQ(player.ask("seek 29.5"), "ok");
    EXPECT_TRUE(
        wait_until([&] { return (got = player.ask("time")).find("paused") != std::string::npos; }, 5));
    EXPECT_TRUE(std::stof(got.substr(3)) >= 30 && std::stof(got.substr(3)) < 30.3f) << got;
    EXPECT_EQ(player.ask("seek 99"), "ok");
    EXPECT_EQ(player.ask("time"), "ok 30.000 paused");
    // An over-long line is answered once, and its tail is not read as a command of its own.
    EXPECT_EQ(player.ask(std::string(65000, 'x') + std::string(10000, ' ') + "time"),
              "error line too long (over 65536 bytes)");
    EXPECT_EQ(player.ask("loop off"), "ok");
}
