// The command line, argv to options or to the one-line usage error, without starting anything.
#include "core/cli.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/video_export.h"

namespace {

CliResult parse(std::vector<const char*> args) {
    args.insert(args.begin(), "tarvel");
    return cli_parse(static_cast<int>(args.size()), args.data());
}

// The options a run sees, written out so that a table row reads as the command line's meaning.
std::string described(const CliOptions& o) {
    auto opt = [](const auto& v) { return v ? std::to_string(*v) : std::string("-"); };
    return "dir=" + o.demo_dir + " start=" + opt(o.start) + " end=" + opt(o.end) + " size=" + opt(o.width) +
           "x" + opt(o.height) + " fullscreen=" + std::to_string(o.fullscreen) +
           " nosound=" + std::to_string(o.no_sound) + " nodialog=" + std::to_string(o.no_dialog) +
           " video=" + o.video + " fps=" + opt(o.video_fps) + " help=" + std::to_string(o.help) +
           " version=" + std::to_string(o.version);
}

const std::string NOTHING =
    "dir= start=- end=- size=-x- fullscreen=0 nosound=0 nodialog=0 video= fps=- help=0 version=0";

TEST(CommandLine, GoodCommandLines) {
    struct Row {
        std::vector<const char*> args;
        std::string expected;
    };
    const Row rows[] = {
        {{}, NOTHING},
        {{"demos/intro"},
         "dir=demos/intro start=- end=- size=-x- fullscreen=0 nosound=0 nodialog=0 video= fps=- help=0 "
         "version=0"},
        // Values follow as the next argument or after '='; times may be fractional or 0.
        {{"--start", "2.5", "--end=10", "--size", "640x480", "d"},
         "dir=d start=2.500000 end=10.000000 size=640x480 fullscreen=0 nosound=0 nodialog=0 video= fps=- "
         "help=0 "
         "version=0"},
        {{"--start", "0", "--fullscreen", "--no-sound", "--no-dialog"},
         "dir= start=0.000000 end=- size=-x- fullscreen=1 nosound=1 nodialog=1 video= fps=- help=0 "
         "version=0"},
        {{"--video", "out.mp4", "--fps=29.97"},
         "dir= start=- end=- size=-x- fullscreen=0 nosound=0 nodialog=0 video=out.mp4 fps=29.969999 help=0 "
         "version=0"},
        // After "--" a name starting with '-' is the demo folder.
        {{"--", "-odd-name"},
         "dir=-odd-name start=- end=- size=-x- fullscreen=0 nosound=0 nodialog=0 video= fps=- help=0 "
         "version=0"},
        {{"--help"},
         "dir= start=- end=- size=-x- fullscreen=0 nosound=0 nodialog=0 video= fps=- help=1 version=0"},
        {{"--version"},
         "dir= start=- end=- size=-x- fullscreen=0 nosound=0 nodialog=0 video= fps=- help=0 version=1"},
    };
    for (const Row& row : rows) {
        CliResult r = parse(row.args);
        EXPECT_EQ(r.error, "") << row.expected;
        EXPECT_EQ(described(r.options), row.expected);
    }
}

TEST(CommandLine, UsageErrorsNameTheProblem) {
    struct Row {
        std::vector<const char*> args;
        std::string error;
    };
    const Row rows[] = {
        {{"--bogus"}, "unrecognized option '--bogus'"},
        {{"-x"}, "unrecognized option '-x'"},
        {{"--size"}, "option '--size' needs a value"},
        {{"--video"}, "option '--video' needs a value"},
        {{"--fullscreen=1"}, "option '--fullscreen' takes no value"},
        {{"a", "b"}, "unexpected argument 'b' (one DEMO_DIR at most)"},
        {{"--start", "-1"}, "invalid time for --start: '-1' (seconds, 0 or more)"},
        {{"--end", "soon"}, "invalid time for --end: 'soon' (seconds, 0 or more)"},
        {{"--end", "5s"}, "invalid time for --end: '5s' (seconds, 0 or more)"},
        {{"--start", "nan"}, "invalid time for --start: 'nan' (seconds, 0 or more)"},
        {{"--start="}, "invalid time for --start: '' (seconds, 0 or more)"},
        {{"--size", "640"}, "invalid size for --size: '640' (WIDTHxHEIGHT, two positive whole numbers)"},
        {{"--size", "0x480"}, "invalid size for --size: '0x480' (WIDTHxHEIGHT, two positive whole numbers)"},
        {{"--size", "640x-480"},
         "invalid size for --size: '640x-480' (WIDTHxHEIGHT, two positive whole numbers)"},
        {{"--size", "640x480x2"},
         "invalid size for --size: '640x480x2' (WIDTHxHEIGHT, two positive whole numbers)"},
        {{"--size", "64.5x48"},
         "invalid size for --size: '64.5x48' (WIDTHxHEIGHT, two positive whole numbers)"},
        {{"--fps", "0"}, "invalid rate for --fps: '0' (frames per second, above 0)"},
        {{"--fps", "-25"}, "invalid rate for --fps: '-25' (frames per second, above 0)"},
        {{"--video="}, "invalid file name for --video: '' (a file to write)"},
        // The first problem is the one reported.
        {{"--bogus", "--size", "0x0"}, "unrecognized option '--bogus'"},
    };
    for (const Row& row : rows) EXPECT_EQ(parse(row.args).error, row.error);
}

TEST(VideoExport, FrameCountIsTheStepsBeforeTheEnd) {
    struct Row {
        double start, end, rate;
        long frames;
    };
    const Row rows[] = {
        {0, 2, 25, 50},
        {1, 3, 30, 60},
        {0, 0.1, 25, 3},  // 0, 0.04, 0.08: the last step still falls inside
        // An end given in single precision (2.2f is 2.2000000477) must not gain a frame.
        {0, static_cast<double>(2.2f), 30, 66},
        {5, 5, 25, 0},
        {6, 5, 25, 0},
    };
    for (const Row& r : rows) EXPECT_EQ(video_frame_total(r.start, r.end, r.rate), r.frames) << r.end;
}

}  // namespace
