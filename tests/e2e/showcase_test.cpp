// The example demos played by the real player, recorded headless in small frames: the showcase
// plays to its end, its chosen moments still look as they did when the reference frames were
// made, its packed form looks exactly like the folder, and make-video turns a cut into an MP4.
//
// To make new reference frames after a deliberate change to the show, run the tests with
// TARVEL_UPDATE_REFERENCES=1 and look at the pictures (build/tga_to_png turns them into PNG).
#include <gtest/gtest.h>

#include <cstdio>

#include "showcase_support.h"

namespace {

using showcase::compare;
using showcase::ExampleCopy;
using showcase::mean_level;

const std::string references = showcase::source("tests/e2e/showcase_reference/");

bool updating_references() {
    const char* v = std::getenv("TARVEL_UPDATE_REFERENCES");
    return v != nullptr && std::string(v) == "1";
}

// Checks (or, when updating, replaces) the reference frame `name` with a recorded frame.
void expect_like_reference(const ExampleCopy& copy, int frame, const std::string& name) {
    SCOPED_TRACE(name);
    std::string path = references + name + ".tga";
    if (updating_references()) {
        write_file(path, read_file(copy.frame_path(frame)));
        return;
    }
    TgaPicture expected;
    ASSERT_EQ(tga_decode(read_file(path), expected), "") << path << " (TARVEL_UPDATE_REFERENCES=1 makes it)";
    showcase::Difference d = compare(copy.frame(frame), expected);
    // Small tolerances absorb other OpenGL drivers' rounding; a moved object or a missing
    // layer of the picture changes far more.
    EXPECT_LT(d.mean, 3.0) << "frame " << frame;
    EXPECT_LT(d.far_share, 0.02) << "frame " << frame;
}

void expect_clean_end(const PlayerResult& r) {
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.err, "") << "no OpenGL warnings or errors";
}

// The whole show, one frame every two seconds from 1 s on (mid-bar, away from the cuts), in
// both forms: every section is loaded and drawn at least once.
TEST(Showcase, PlaysToItsEndAndPackedItRecordsTheSameFramesAsTheFolder) {
    ExampleCopy folder("showcase");
    folder.small_recording(0.5f, 1, 0);
    expect_clean_end(folder.run());
    std::vector<std::string> names = folder.frames();
    // 1, 3, ... 75, then the frame at 77 that ends the show when the music has stopped.
    ASSERT_EQ(names.size(), 39u);

    // Every scene shows something: no frame of the show proper is black.
    for (int i = 0; i < 38; ++i) EXPECT_GT(mean_level(folder.frame(i)), 6.0) << "at " << 1 + 2 * i << " s";
    EXPECT_LT(mean_level(folder.frame(38)), 1.0) << "after the last fade";

    const std::pair<int, const char*> moments[] = {{5, "forge_11s"},  {8, "forge_17s"},   {15, "swarm_31s"},
                                                   {17, "swarm_35s"}, {21, "liquid_43s"}, {29, "bloom_59s"},
                                                   {34, "finale_69s"}};
    for (const auto& [frame, name] : moments) expect_like_reference(folder, frame, name);

    ExampleCopy packed("showcase");
    packed.small_recording(0.5f, 1, 0);
    packed.pack();
    ASSERT_TRUE(showcase::fs::is_regular_file(packed.dir.file("data.dat")));
    ASSERT_FALSE(showcase::fs::exists(packed.dir.file("data")));
    expect_clean_end(packed.run());
    ASSERT_EQ(packed.frames(), names);
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(read_file(packed.frame_path(static_cast<int>(i))),
                  read_file(folder.frame_path(static_cast<int>(i))))
            << "frame " << i;
    }
}

TEST(Showcase, OpensOutOfBlackOverItsFirstSeconds) {
    ExampleCopy copy("showcase");
    copy.small_recording(25, 0, 2);
    expect_clean_end(copy.run());
    // 0 to 2 s in steps of 1/25 s, and the frame past the cut (the steps add up in single
    // precision, so the last one may or may not fall on 2 s exactly).
    ASSERT_GE(copy.frames().size(), 51u);
    ASSERT_LE(copy.frames().size(), 52u);
    // The fade in starts from black and brightens frame by frame while the tunnel comes closer.
    EXPECT_LT(mean_level(copy.frame(0)), 0.5);
    double previous = 0;
    for (int i = 5; i <= 40; i += 5) {
        double level = mean_level(copy.frame(i));
        EXPECT_GT(level, previous) << "frame " << i;
        previous = level;
    }
    expect_like_reference(copy, 25, "dawn_1s");
    expect_like_reference(copy, 50, "dawn_2s");
}

TEST(Hello, FadesItsPictureInAndOut) {
    ExampleCopy copy("hello");
    copy.small_recording(5, 0, 0);
    expect_clean_end(copy.run());
    // 0 to 6 s at 5 frames a second, and the frame that finds nothing left to play.
    ASSERT_GE(copy.frames().size(), 31u);
    ASSERT_LE(copy.frames().size(), 32u);
    EXPECT_LT(mean_level(copy.frame(0)), 0.5);
    double shown = mean_level(copy.frame(15));
    EXPECT_GT(shown, 40.0);
    EXPECT_NEAR(mean_level(copy.frame(5)), shown * 0.5, shown * 0.1) << "halfway through the fade in";
    EXPECT_NEAR(mean_level(copy.frame(25)), shown * 0.5, shown * 0.1) << "halfway through the fade out";
    EXPECT_LT(mean_level(copy.frame(30)), 0.5);
}

TEST(MakeVideo, TurnsACutOfTheShowIntoAnMp4OfThatLength) {
    if (!showcase::on_path("ffmpeg") || !showcase::on_path("ffprobe")) {
        GTEST_SKIP() << "ffmpeg is not installed (scripts/install-deps ffmpeg, or make video, installs it)";
    }
    ExampleCopy copy("showcase", 8);
    // make-video's own script sets the recording, the cut and the sound.
    copy.settings = {"gl_width 320", "gl_height 240", "gl_rttWidth 256", "gl_rttHeight 128"};
    copy.write_settings();
    TempDir out;
    std::string mp4 = out.file("cut.mp4");
    std::string command = "cd " + showcase::quoted(out.path) + " && VIDEO_FPS=10 " +
                          showcase::quoted(showcase::source("examples/make-video")) + " " +
                          showcase::quoted(TARVEL_TOOLS_DIR) + " " + showcase::quoted(copy.dir.path) +
                          " cut.mp4 3 5 > log.txt 2>&1";
    ASSERT_TRUE(showcase::shell(command)) << read_file(out.file("log.txt"));
    EXPECT_NE(read_file(out.file("log.txt")).find(mp4), std::string::npos) << "says where the video is";

    std::string probe =
        "ffprobe -v error -show_entries format=duration:stream=codec_type,width,height "
        "-of default=noprint_wrappers=1 " +
        showcase::quoted(mp4) + " > " + showcase::quoted(out.file("probe.txt"));
    ASSERT_TRUE(showcase::shell(probe));
    std::string info = read_file(out.file("probe.txt"));
    EXPECT_NE(info.find("codec_type=video"), std::string::npos) << info;
    EXPECT_NE(info.find("codec_type=audio"), std::string::npos) << info;
    // The 16:9 band as shown in the 320 x 240 window: 179 rows, cut to an even 178 for H.264.
    EXPECT_NE(info.find("width=320\nheight=178"), std::string::npos) << info;
    size_t at = info.find("duration=");
    ASSERT_NE(at, std::string::npos) << info;
    EXPECT_NEAR(std::stod(info.substr(at + 9)), 2.0, 0.25) << info;
    // The working copy is gone; nothing but the video and the log is left behind.
    size_t entries = 0;
    for (const auto& entry : showcase::fs::directory_iterator(out.path)) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 3u);
}

}  // namespace
