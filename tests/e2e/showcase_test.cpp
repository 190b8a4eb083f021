// The showcase played by the real player, recorded headless in small frames: it plays to its end,
// its chosen moments still look as they did when the reference frames were made, its packed form
// records exactly the folder's frames, and make-video turns a cut of it into an MP4.
//
// To make new reference frames after a deliberate change to the show, run the tests with
// TARVEL_UPDATE_REFERENCES=1 and look at the pictures (build/tga_to_png turns them into PNG).
#include <gmock/gmock.h>

#include <cstdlib>
#include <filesystem>

#include "player.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// Mean of all channels of all pixels, 0 to 255.
double mean_level(const TgaPicture& p) {
    double sum = 0;
    for (uint8_t v : p.rgb) sum += v;
    return p.rgb.empty() ? 0 : sum / static_cast<double>(p.rgb.size());
}

// The showcase with small frames, one every two seconds from 1 s to its own end.
void showcase(Demo& demo) {
    demo.use_example("showcase");
    for (const char* s : {"compress_tga 1", "record_fps 0.5", "demo_start 1", "demo_end 0"}) demo.set(s);
}

void expect_like_reference(const Demo& demo, int frame, const std::string& name) {
    SCOPED_TRACE(name);
    const std::string path =
        std::string(TARVEL_SOURCE_DIR) + "/tests/e2e/showcase_reference/" + name + ".tga";
    const char* update = std::getenv("TARVEL_UPDATE_REFERENCES");
    if (update != nullptr && std::string(update) == "1")
        return write_file(path, read_file(demo.frame_path(frame)));
    // Small tolerances absorb other OpenGL drivers' rounding; a moved object or a missing layer
    // of the picture changes far more: the mean channel difference, and the pixels where some
    // channel differs by more than 48.
    const TgaPicture got = demo.frame(frame), want = read_picture(path);
    ASSERT_EQ(got.rgb.size(), want.rgb.size());
    double sum = 0, far = 0;
    for (size_t i = 0; i < got.rgb.size(); i += 3) {
        int worst = 0;
        for (size_t c = i; c < i + 3; ++c) worst = std::max(worst, std::abs(got.rgb[c] - want.rgb[c]));
        for (size_t c = i; c < i + 3; ++c) sum += std::abs(got.rgb[c] - want.rgb[c]);
        far += worst > 48;
    }
    EXPECT_LT(sum / static_cast<double>(got.rgb.size()), 3.0) << "frame " << frame;
    EXPECT_LT(far * 3 / static_cast<double>(got.rgb.size()), 0.02) << "frame " << frame;
}

}  // namespace

// One frame every two seconds from 1 s on (mid-bar, away from the cuts): every section is loaded
// and drawn at least once, in both forms.
TEST(Showcase, PlaysToItsEndAndPackedRecordsTheSameFramesAsTheFolder) {
    Demo folder;
    showcase(folder);
    PlayerOptions options{.timeout_seconds = 240};
    expect_clean_exit(folder.run(options));
    const std::vector<std::string> names = folder.frames();
    // 1, 3, ... 75, then the frame at 77 that ends the show when the music has stopped.
    ASSERT_EQ(names.size(), 39u);
    for (int i = 0; i < 38; ++i) EXPECT_GT(mean_level(folder.frame(i)), 6.0) << "at " << 1 + 2 * i << " s";
    EXPECT_LT(mean_level(folder.frame(38)), 1.0) << "after the last fade";
    const std::pair<int, const char*> moments[] = {{0, "dawn_1s"},    {5, "forge_11s"},  {8, "forge_17s"},
                                                   {15, "swarm_31s"}, {17, "swarm_35s"}, {21, "liquid_43s"},
                                                   {29, "bloom_59s"}, {34, "finale_69s"}};
    for (const auto& [frame, name] : moments) expect_like_reference(folder, frame, name);

    Demo packed;
    showcase(packed);
    const std::string pack = "'" + std::string(TARVEL_SOURCE_DIR) + "/examples/make-media' '" +
                             TARVEL_TOOLS_DIR + "' pack '" + packed.dir.path + "'";
    ASSERT_EQ(std::system(pack.c_str()), 0) << pack;
    fs::remove_all(packed.dir.file("data"));
    ASSERT_TRUE(fs::is_regular_file(packed.dir.file("data.dat")));
    expect_clean_exit(packed.run(options));
    ASSERT_EQ(packed.frames(), names);
    for (int i = 0; i < static_cast<int>(names.size()); ++i)
        EXPECT_TRUE(read_file(packed.frame_path(i)) == read_file(folder.frame_path(i))) << "frame " << i;
}

// Every kind of history at once, over scenes that begin before the span: the span's frames and
// those of three processes joined are the whole export's, bit for bit (master is lossless).
TEST(Showcase, ASpanAndThreeJobsGiveTheFramesOfTheWholeExport) {
    Demo demo;
    demo.use_example("showcase");
    demo.write();
    PlayerOptions options{.timeout_seconds = 240};
    const std::vector<std::string> common = {"--no-audio", "--profile", "master",   "--fps",
                                             "2",          "--size",    "1024x576", "--video"};
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), common.begin(), common.end());
        options.args = args;
        expect_clean_exit(demo.run(options));
    };
    run({"whole.mkv"});
    run({"span.mkv", "--from", "20", "--to", "44"});
    run({"jobs.mkv", "--jobs", "3"});
    const std::vector<std::string> whole = frame_hashes(demo.dir.path, "whole.mkv");
    ASSERT_GT(whole.size(), 88u);
    // At 2 frames a second the span holds frames 40 (20 s) to 87 (43.5 s).
    EXPECT_EQ(frame_hashes(demo.dir.path, "span.mkv"),
              std::vector<std::string>(whole.begin() + 40, whole.begin() + 88));
    EXPECT_EQ(frame_hashes(demo.dir.path, "jobs.mkv"), whole);
}

TEST(MakeVideo, TurnsACutOfTheShowIntoAnMp4OfThatLength) {
    Demo demo;
    demo.use_example("showcase", 8);
    // make-video passes the cut and the rate to the player's --video.
    demo.settings = {"gl_width 320", "gl_height 240", "gl_rttWidth 256", "gl_rttHeight 128"};
    demo.write();
    TempDir out;
    const std::string command = "cd '" + out.path + "' && VIDEO_FPS=10 '" + TARVEL_SOURCE_DIR +
                                "/examples/make-video' '" + TARVEL_TOOLS_DIR + "' '" + demo.dir.path +
                                "' cut.mp4 3 5 > log.txt 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << read_file(out.file("log.txt"));
    EXPECT_THAT(read_file(out.file("log.txt")), HasSubstr(out.file("cut.mp4"))) << "says where it is";
    const std::string info =
        output_of(out.path,
                  "ffprobe -v error -show_entries format=duration:stream=codec_type,width,height -of "
                  "default=nw=1 cut.mp4");
    // The 16:9 band as shown in the 320 x 240 window: 320 x 9/16 = 180 rows.
    const std::string streams = "codec_type=video\nwidth=320\nheight=180\ncodec_type=audio\nduration=";
    ASSERT_THAT(info, StartsWith(streams));
    EXPECT_NEAR(std::stod(info.substr(streams.size())), 2.0, 0.25) << info;
    // The working copy is gone; nothing but the video and the log is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(out.path), fs::directory_iterator{}), 2);
}
