// The player as a command-line tool, run as a user would: usage, the demo folder, options that
// win over the scripts, video export read back with ffprobe, errors that never wait on a dialog
// and never pass for success, and pictures drawn to their edges and with their alpha.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include <gmock/gmock.h>

#include "media_files.h"
#include "player.h"

namespace {

namespace fs = std::filesystem;
using ::testing::AllOf, ::testing::AnyOf, ::testing::EndsWith, ::testing::HasSubstr, ::testing::Not,
    ::testing::StartsWith;

// Without a display a run that went as far as the window would end in the display error.
const PlayerOptions headless{.env = {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}};

PlayerResult tarvel(const Demo& demo, std::vector<std::string> args, PlayerOptions options = {}) {
    options.args = std::move(args);
    return demo.run(options);
}

// The video export `args` asks for, at 10 frames a second in 320 x 180.
PlayerResult encode(const Demo& demo, std::vector<std::string> args) {
    args.insert(args.end(), {"--fps", "10", "--size", "320x180"});
    return tarvel(demo, std::move(args));
}

// Runs with the size of every file the player (and ffmpeg) writes limited, as on a disk that
// fills up after `bytes`.
PlayerResult run_on_a_small_disk(const Demo& demo, std::vector<std::string> args, unsigned long bytes) {
    FileSizeLimit limit(bytes);
    return tarvel(demo, std::move(args));
}

TEST(CommandLine, HelpVersionAndUsageErrorsOpenNoWindow) {
    Demo demo;
    PlayerResult help = tarvel(demo, {"--help"}, headless);
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_THAT(help.out, StartsWith("Usage: tarvel [OPTION]... [DEMO_DIR]\n"));
    EXPECT_EQ(help.err, "");
    PlayerResult version = tarvel(demo, {"--version"}, headless);
    EXPECT_EQ(version.exit_status, 0);
    EXPECT_THAT(version.out, StartsWith("tarvel "));
    EXPECT_EQ(std::count(version.out.begin(), version.out.end(), '\n'), 1) << version.out;

    // Each usage error's text is the parser's; how it reaches the user is the same for all.
    PlayerResult wrong = tarvel(demo, {"--size", "640"}, headless);
    EXPECT_EQ(wrong.exit_status, 2);
    EXPECT_EQ(
        wrong.err,
        "tarvel: invalid size for --size: '640' (WIDTHxHEIGHT, two positive whole numbers)\nTry 'tarvel "
        "--help'.\n");
    EXPECT_EQ(wrong.out, "");
    EXPECT_EQ(demo.dialog_log(), "");
}

// The span and --no-sound given on the command line win over the scripts; pictures are drawn
// whole, to their rim and with their alpha.
TEST(CommandLine, DemoFolderAndOptionsWinOverTheScriptsAndPicturesAreDrawnWhole) {
    Demo demo;
    // With the sound on, this music would end the load; --no-sound must win.
    for (const char* s : {"demo_start 0", "demo_end 3", "sound 1"}) demo.set(s);
    demo.section("[sound]\nstart 0\nend 3\nstring data/missing.ogg\n");
    demo.picture("data/grey.tga", 8, 8, Rgb{200, 200, 200});
    demo.background("data/grey.tga", 0, 1.56f);
    // From 1.6 s: red under a PNG of blue at alpha 96 (of 255), blended by its alpha.
    demo.picture("data/red.tga", 8, 8, red);
    media::Bytes blue;
    for (int i = 0; i < 8 * 8; ++i) blue += media::Bytes("\x00\x00\xFF\x60", 4);
    demo.file("data/blue.png", media::png(8, 8, blue, 6));
    demo.background("data/red.tga", 1.6f, 3);
    demo.section("[background]\n" + span(1.6f, 3, 1) +
                 "blend SRC_ALPHA ONE_MINUS_SRC_ALPHA\nstring data/blue.png\n");
    demo.write();
    // Started elsewhere: the demo's paths and its frames are the folder's.
    TempDir elsewhere;
    expect_clean_exit(
        player_run(elsewhere.path, {.args = {"--start", "1.5", "--end", "1.7", "--no-sound", demo.dir.path},
                                    .path_prefix = demo.bin.path}));
    EXPECT_TRUE(fs::is_empty(elsewhere.path));
    // 1.5 to 1.7 s at 25 frames a second: 1.5, 1.54, ... 1.7, and the frame that finds the end
    // passed (1.7 in single precision may fall either side of it).
    ASSERT_GE(demo.frames().size(), 6u);
    ASSERT_LE(demo.frames().size(), 7u);
    // Clamped to its edge texels, the picture leaves no darker rim, not even in the corners.
    const TgaPicture first = demo.frame(0);
    EXPECT_EQ(count_colour(first, Rgb{200, 200, 200}), first.width * first.height);
    // 255 x (1 - 96/255) = 159 of red, 96 of blue.
    EXPECT_COLOUR(colour_at(demo.frame(3), 0.5f, 0.5f), (Rgb{159, 0, 96}), 2);
}

// A demo of every kind of history a frame carries, with its music: random numbers drawn while
// drawing (a bolt that ended, a repeat) and at a start, particles, and a feedback effect that keeps
// the frames before. The early bolt, the repeat and their camera end more than a frame before the
// later camera and the music start: their frames are stepped through undrawn, and only their
// skip draws the random numbers the later bolts then find.
void busy_demo(Demo& demo) {
    demo.picture("data/flare.tga", 8, 8, Rgb{250, 200, 60});
    demo.file("data/bolt.spl", "-3 0 0 3 0.5 0 0.6 2 0.5 2\n-3 0.5 0 3 0 0 0.6 2 0.5 2\n");
    demo.file("data/bolt_colour.spl", "0.4 0.7 1\n1 0.7 0.4\n");
    demo.file("data/path.spl", "-3 -1 0\n0 2 0\n3 -1 0\n");
    output_of(demo.dir.path, "'" TARVEL_TOOLS_DIR "/make_music' data/music.wav 4");
    const std::string splines = "spline data/bolt.spl\nspline data/bolt_colour.spl\n",
                      bolt = "param 1 8\n" + splines;
    demo.section("[sound]\n" + span(0.9f, 3, 0) + "string data/music.wav\n[camera]\n" + span(0, 0.7f, 0) +
                 "[ray]\n" + span(0, 0.7f, 1) + bolt + "[efxRepeat]\n" + span(0.1f, 0.7f, 2) +
                 "param 1 0.3 0  1 8\n" + splines + "string ray\n[camera]\n" + span(0.9f, 3, 0) + "[ray]\n" +
                 span(1, 3, 2) + bolt + "[pathway]\n" + span(1.3f, 3, 2) +
                 "param 30 0.3  1 0.5 0.2\nstring data/flare.tga\nspline data/path.spl\n[ray]\n" +
                 span(1, 2.5f, 1) + bolt + "[efxRenderMesh]\n" + span(1.1f, 3, 3) + "param 4  0.5 0.9  1\n");
}

// What ffprobe says of a file's streams, as "key=value" lines.
std::string probe(const std::string& dir, const std::string& file, const std::string& entries) {
    return output_of(dir,
                     "ffprobe -v error -show_entries " + entries + " -of default=nw=1 " + file + " 2>&1");
}

// The positions of the key frames among the picture's packets.
std::string key_frames(const std::string& dir, const std::string& file) {
    const std::string flags =
        output_of(dir, "ffprobe -v error -select_streams v -show_entries packet=flags -of csv=p=0 " + file);
    std::string keys;
    int at = 0;
    for (size_t i = 0, end; (end = flags.find('\n', i)) != std::string::npos; i = end + 1, ++at)
        if (flags[i] == 'K') keys += (keys.empty() ? "" : " ") + std::to_string(at);
    return keys;
}

// The sound of a file decoded to 16-bit PCM at its own rate.
std::string pcm(const std::string& dir, const std::string& file) {
    return output_of(dir, "ffmpeg -v error -i " + file + " -map 0:a -f s16le -acodec pcm_s16le -");
}

// Each profile writes what it promises, read back with ffprobe: codecs, profile, pixels and their
// colour tags, key frames every half second, the sound's rate, where the index is; the master
// gives back the very pixels drawn.
TEST(VideoExport, EachProfileWritesWhatItPromises) {
    Demo demo;
    // A colour that 4:2:0 in limited range cannot give back exactly.
    demo.picture("data/brown.tga", 8, 8, Rgb{201, 99, 37});
    demo.background("data/brown.tga", 0, 2);
    output_of(demo.dir.path, "'" TARVEL_TOOLS_DIR "/make_music' data/music.wav 3");
    demo.section("[sound]\n" + span(0, 2, 0) + "string data/music.wav\n");
    const std::string video =
        "stream=codec_name,profile,width,height,pix_fmt,color_space,color_primaries,color_transfer,"
        "color_range,sample_rate,channels";
    const std::string h264 =
        "codec_name=h264\nprofile=High\nwidth=320\nheight=180\npix_fmt=yuv420p\n"
        "color_range=tv\ncolor_space=bt709\ncolor_transfer=bt709\ncolor_primaries=bt709\n"
        "codec_name=aac\nprofile=LC\nsample_rate=48000\nchannels=2\n";
    // 2 s at 10 frames a second: a key frame every 5.
    const std::tuple<const char*, const char*, std::string> rows[] = {
        {"web", "web.mp4", h264},
        {"compo", "compo.mp4", h264},
        {"master", "master.mkv",
         // FFV1's decoder gives its planar RGB back as packed BGR: RGB either way, full range.
         "codec_name=ffv1\nprofile=unknown\nwidth=320\nheight=180\npix_fmt=bgr0\n"
         "color_range=pc\ncolor_space=gbr\ncolor_transfer=unknown\ncolor_primaries=unknown\n"
         "codec_name=flac\nprofile=unknown\nsample_rate=44100\nchannels=2\n"},
    };
    for (const auto& [profile, file, streams] : rows) {
        expect_clean_exit(encode(demo, {"--video", file, "--profile", profile}));
        EXPECT_EQ(probe(demo.dir.path, file, video), streams) << profile;
    }
    for (const char* file : {"web.mp4", "compo.mp4"})
        EXPECT_EQ(key_frames(demo.dir.path, file), "0 5 10 15") << file;
    const std::string web = read_file(demo.dir.file("web.mp4"));
    EXPECT_LT(web.find("moov"), web.find("mdat")) << "the index first";
    // x264 writes its settings into the stream: the compo's rate at this small size is the floor.
    EXPECT_NE(read_file(demo.dir.file("compo.mp4")).find(" bitrate=12000 "), std::string::npos);
    // Lossless: the master's first frame is the brown of the picture in every pixel.
    const std::string first =
        output_of(demo.dir.path, "ffmpeg -v error -i master.mkv -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
    std::string brown;
    for (int i = 0; i < 320 * 180; ++i) brown += "\xC9\x63\x25";
    EXPECT_TRUE(first == brown) << first.size() << " bytes";
    // Without --size and --fps the compo profile is 1080p60, as the plan shows without a window.
    const PlayerResult plan =
        tarvel(demo, {"--video-plan", "1", "compo.mp4", "--profile", "compo"}, headless);
    EXPECT_EQ(plan.exit_status, 0) << plan.err;
    EXPECT_THAT(plan.out, HasSubstr(" --size 1920x1080 --fps 60 "));
}

// --jobs renders spans in processes of their own and joins them into the whole export: the same
// key frames (web) and the music the single export has, sample for sample; the plan run by GNU
// parallel and the Slurm example gives the very frames of the lossless master; a span that fails
// fails the export, naming it, and leaves nothing.
TEST(VideoExport, ManyProcessesMakeTheWholeExport) {
    Demo demo;
    busy_demo(demo);
    const std::string env = "DISPLAY=" + player_display() + " SDL_AUDIODRIVER=dummy ";
    expect_clean_exit(encode(demo, {"--video", "whole.mkv", "--profile", "master"}));
    expect_clean_exit(encode(demo, {"--video", "whole.mp4", "--profile", "web"}));
    // On a terminal, one line for the three spans of 10 frames, the first warmed up from 0 and the
    // others from where the later camera and the music start, 0.9 s (frame 9): 10 + 11 + 21
    // frames, a total every line shows before the spans report.
    const std::string shown =
        output_of(demo.dir.path, "script -qec '" + env + TARVEL_PLAYER +
                                     " --video jobs.mp4 --jobs 3 --fps 10 --size 320x180' /dev/null");
    EXPECT_THAT(shown, HasSubstr("\rVideo: frame 42 of 42 in 3 spans, "));
    for (size_t at = 0; (at = shown.find(" of ", at)) != std::string::npos; ++at)
        EXPECT_EQ(shown.compare(at, 7, " of 42 "), 0) << shown;
    ASSERT_EQ(frame_hashes(demo.dir.path, "whole.mp4").size(), 30u);
    EXPECT_EQ(frame_hashes(demo.dir.path, "jobs.mp4").size(), 30u);
    EXPECT_EQ(key_frames(demo.dir.path, "jobs.mp4"), key_frames(demo.dir.path, "whole.mp4"));
    const std::string sound = pcm(demo.dir.path, "jobs.mp4");
    EXPECT_TRUE(sound == pcm(demo.dir.path, "whole.mp4")) << sound.size();
    // 3 s within a frame: 0.1 s at 48 or 44.1 kHz, 4 bytes a frame.
    EXPECT_NEAR(static_cast<double>(sound.size()) / 4, 3 * 48000, 4800);
    EXPECT_NEAR(static_cast<double>(pcm(demo.dir.path, "whole.mkv").size()) / 4, 3 * 44100, 4410);

    // The plan: spans 2 and 3 by GNU parallel, span 1 by the Slurm example, then the join.
    const PlayerResult plan =
        encode(demo, {"--video-plan", "3", "plan.mkv", "--profile", "master", demo.dir.path});
    ASSERT_EQ(plan.exit_status, 0) << plan.err;
    ASSERT_EQ(std::count(plan.out.begin(), plan.out.end(), '\n'), 4) << plan.out;
    demo.file("plan.sh", plan.out);
    output_of(demo.dir.path,
              "sed -n 2,3p plan.sh | " + env + "parallel -j 2 && SLURM_ARRAY_TASK_ID=1 " + env +
                  "'" TARVEL_SOURCE_DIR "/examples/slurm-export.sh' plan.sh && tail -n 1 plan.sh | sh");
    // The same file but for Matroska's random identifiers.
    EXPECT_EQ(frame_hashes(demo.dir.path, "plan.mkv"), frame_hashes(demo.dir.path, "whole.mkv"));
    EXPECT_TRUE(pcm(demo.dir.path, "plan.mkv") == pcm(demo.dir.path, "whole.mkv"));

    // A span's file that cannot be written: the second fails, the export with it.
    fs::create_directories(demo.dir.file(".failed.mkv.span-2-of-3.mkv"));
    const PlayerResult failed = encode(demo, {"--video", "failed.mkv", "--profile", "master", "--jobs", "3"});
    EXPECT_EQ(failed.exit_status, 255);
    EXPECT_THAT(failed.err, StartsWith("Error: Video export to '" + demo.dir.file("failed.mkv") +
                                       "' failed: span 2 of 3 (0.950000107 to 1.95000029 seconds) failed: "));
    fs::remove(demo.dir.file(".failed.mkv.span-2-of-3.mkv"));
    for (const auto& entry : fs::directory_iterator(demo.dir.path))
        EXPECT_THAT(entry.path().filename().string(),
                    Not(AnyOf(HasSubstr("failed"), HasSubstr("span-"), HasSubstr("joining"))));
}

// 3840x2160 without an X server: the example's virtual display is smaller than the window, yet the
// picture is whole (the back buffer is drawn off the screen), the right way up, in the command
// line's size and span over the scripts', with no frame files.
TEST(VideoExport, A2160pExportNeedsNoDisplay) {
    Demo demo;
    write_tga(demo.dir.file("data/split.tga"), 8, 8, quadrant_rgb(8, 8, red, red, green, blue));
    demo.background("data/split.tga", 0, 1);
    demo.set("gl_width 320");
    demo.write();
    output_of(demo.dir.path,
              "DISPLAY= '" TARVEL_SOURCE_DIR "/examples/with-virtual-display' '" TARVEL_PLAYER
              "' --video big.mp4 --size 3840x2160 --fps 10 --start 0.5 --end 0.75 > /dev/null 2>&1");
    // The corners, from a picture cut down to 4 x 4: red above, green and blue below.
    const std::string corners =
        output_of(demo.dir.path,
                  "ffmpeg -v error -i big.mp4 -frames:v 1 -vf scale=4:4:flags=neighbor -f rawvideo "
                  "-pix_fmt rgb24 -");
    ASSERT_EQ(corners.size(), 4u * 4 * 3);
    auto at = [&](int x, int y) {
        const char* p = corners.data() + (y * 4 + x) * 3;
        return Rgb{static_cast<uint8_t>(p[0]), static_cast<uint8_t>(p[1]), static_cast<uint8_t>(p[2])};
    };
    // From the start asked for: 0.5, 0.6 and 0.7 s.
    EXPECT_EQ(probe(demo.dir.path, "big.mp4", "stream=codec_type,width,height,nb_frames"),
              "codec_type=video\nwidth=3840\nheight=2160\nnb_frames=3\n");
    EXPECT_TRUE(demo.frames().empty());
    EXPECT_COLOUR(at(3, 0), red, 24);
    EXPECT_COLOUR(at(0, 3), green, 24);
    EXPECT_COLOUR(at(3, 3), blue, 24);
}

TEST(VideoExport, WhatCannotBeWrittenWholeIsAnErrorAndRemoved) {
    // A picture of noise: its video is large enough to fill a small disk at once.
    Demo demo;
    std::string noise;
    for (int i = 0; i < 64 * 64 * 3; ++i) noise += static_cast<char>((i * 7919) % 251);
    write_tga(demo.dir.file("data/noise.tga"), 64, 64, noise);
    demo.background("data/noise.tga", 0, 2);

    PlayerResult full = run_on_a_small_disk(demo, {"--video", "full.mp4"}, 16384);
    EXPECT_EQ(full.exit_status, 255);
    EXPECT_THAT(full.err, StartsWith("Error: Video export to '" + demo.dir.file("full.mp4") + "' failed: "));
    EXPECT_FALSE(fs::exists(demo.dir.file("full.mp4")));

    PlayerResult nowhere = tarvel(demo, {"--video", "missing/v.mp4"});
    EXPECT_EQ(nowhere.exit_status, 255);
    EXPECT_THAT(nowhere.err, HasSubstr("missing/v.mp4: No such file or directory"));

    // Recorded frames: the first one does not fit (256 x 128 x 3 bytes), and is not left cut.
    PlayerResult cut = run_on_a_small_disk(demo, {}, 65536);
    EXPECT_EQ(cut.exit_status, 255);
    EXPECT_EQ(cut.err, "Error: Cannot write the recorded frame 'video/00000000.tga': File too large\n");
    EXPECT_TRUE(demo.frames().empty());
    // A name taken by a folder: the frames before it stay, the run fails there.
    fs::create_directories(demo.dir.file("video/00000003.tga"));
    PlayerResult taken = tarvel(demo, {});
    EXPECT_EQ(taken.exit_status, 255);
    EXPECT_EQ(taken.err, "Error: Cannot write the recorded frame 'video/00000003.tga': Is a directory\n");
    EXPECT_EQ(demo.frames().size(), 4u);
}

// The time line the player writes, read back in canonical form by xmllint (a reader of its own,
// which escapes the same three characters in text however the file wrote them), whole or not at
// all: a write that fails leaves neither the file nor a part of it.
TEST(Timeline, TheOptionWritesThePictureWholeOrNotAtAll) {
    Demo demo;
    demo.background("data/sky&sea<1>.tga", 0, 2.5f, 0);
    expect_clean_exit(tarvel(demo, {"--timeline", "t.svg"}, headless));
    EXPECT_THAT(output_of(demo.dir.path, "xmllint --c14n t.svg"),
                HasSubstr(">background data/sky&amp;sea&lt;1&gt;.tga</text>"));

    PlayerResult full = run_on_a_small_disk(demo, {"--timeline", "full.svg"}, 1024);
    EXPECT_EQ(full.exit_status, 255);
    EXPECT_EQ(full.err,
              "Error: Cannot write the timeline '" + demo.dir.file("full.svg") + "': File too large\n");
    for (const auto& entry : fs::directory_iterator(demo.dir.path))
        EXPECT_THAT(entry.path().filename().string(), Not(StartsWith("full.svg")));
}

TEST(HeadlessRuns, ErrorsAndTheScoreNeverWaitOnADialog) {
    const PlayerOptions no_dialog{.args = {"--no-dialog"}};
    const struct {
        std::string what;
        PlayerOptions options;
        std::string script_line;
        int status;
        std::string err_start;
    } rows[] = {
        {"--no-dialog", no_dialog, "oops", 255, "Error: Unknown variable (script './demo.tvl', line 1)\n"},
        {"TARVEL_NO_DIALOG", {.env = {{"TARVEL_NO_DIALOG", "1"}}}, "oops", 255, "Error: Unknown variable"},
        {"benchmark", no_dialog, "bench 1", 0, "Benchmark: Score: "},
        {"--video", {.args = {"--video=v.mp4"}}, "oops", 255, "Error: Unknown variable"},
        {"--timeline", {.args = {"--timeline=t.svg"}}, "oops", 255, "Error: Unknown variable"},
        // No display at all: one line naming the way to play headless, never a text-mode picture.
        {"no display", headless, "fps 0", 255,
         "Error: No display: neither DISPLAY nor WAYLAND_DISPLAY is set."},
    };
    for (const auto& row : rows) {
        Demo demo;
        demo.picture("data/red.tga", 8, 8, red);
        demo.background("data/red.tga", 0, 0.2f);
        demo.settings.insert(demo.settings.begin(), row.script_line);
        PlayerOptions options = row.options;
        options.timeout_seconds = 20;
        PlayerResult r = demo.run(options);
        EXPECT_EQ(r.exit_status, row.status) << row.what << ": " << r.err;
        EXPECT_THAT(r.err, StartsWith(row.err_start)) << row.what;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << row.what << ": " << r.err;
        EXPECT_EQ(demo.dialog_log(), "") << row.what;
    }
}

TEST(Generators, AnswerHelpWithTheirUsage) {
    TempDir dir;
    for (const char* tool : {"make_font", "make_images", "make_music", "make3ds", "make_module",
                             "make_showcase_meshes", "make_showcase_splines", "tga_to_png"}) {
        EXPECT_THAT(
            output_of(dir.path, "'" TARVEL_TOOLS_DIR "/" + std::string(tool) + "' --help && echo ended well"),
            AllOf(StartsWith(std::string("usage: ") + tool + " "), EndsWith("\nended well\n")));
        EXPECT_TRUE(fs::is_empty(dir.path)) << tool << " wrote a file";
    }
}

}  // namespace
