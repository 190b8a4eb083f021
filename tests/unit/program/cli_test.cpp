// The command line, argv to options or to the one-line usage error, without starting anything.
#include "program/cli.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "export/video_export.h"
#include "runtime/registry.h"
#include "sections/demo.h"

namespace {

CliResult parse(std::vector<const char*> args) {
    args.insert(args.begin(), "tarvel");
    return cli_parse(static_cast<int>(args.size()), args.data());
}

// The options a run sees as "name=value" words; a row names only the words that differ from no options.
std::string described(const CliOptions& o) {
    auto opt = [](const auto& v) { return v ? std::to_string(*v) : std::string("-"); };
    return "dir=" + o.demo_dir + " start=" + opt(o.start) + " end=" + opt(o.end) + " size=" + opt(o.width) +
           "x" + opt(o.height) + " fullscreen=" + std::to_string(o.fullscreen) +
           " nosound=" + std::to_string(o.no_sound) + " nodialog=" + std::to_string(o.no_dialog) +
           " video=" + o.video + " fps=" + opt(o.video_fps) + " help=" + std::to_string(o.help) +
           " version=" + std::to_string(o.version) + " watch=" + std::to_string(o.watch) +
           " jobs=" + std::to_string(o.jobs) + " plan=" + opt(o.video_plan) + " join=" + opt(o.video_join) +
           " serve=" + (o.serve ? o.serve_address + ":" + std::to_string(o.serve_port) : "-");
}

std::string nothing_but(const std::string& changes) {
    std::istringstream all(
        "dir= start=- end=- size=-x- fullscreen=0 nosound=0 nodialog=0 video= fps=- help=0 version=0 "
        "watch=0 jobs=1 plan=- join=- serve=-");
    std::string out, word;
    while (all >> word) {
        std::string key = word.substr(0, word.find('=') + 1);
        size_t at = (" " + changes).find(" " + key);
        if (at != std::string::npos) word = changes.substr(at, changes.find(' ', at) - at);
        out += (out.empty() ? "" : " ") + word;
    }
    return out;
}

TEST(CommandLine, GoodCommandLines) {
    const std::pair<std::vector<const char*>, std::string> rows[] = {
        // Values follow as the next argument or after '='; times may be fractional or 0.
        {{"--start", "2.5", "--end=10", "--size", "640x480", "d"},
         "dir=d start=2.500000 end=10.000000 size=640x480"},
        {{"--start", "0", "--fullscreen", "--no-sound", "--no-dialog"},
         "start=0.000000 fullscreen=1 nosound=1 nodialog=1"},
        {{"--video", "out.mp4", "--fps=29.97"}, "video=out.mp4 fps=29.969999"},
        {{"--", "-odd-name"}, "dir=-odd-name"},  // after "--" a name starting with '-' is the folder
        // A plan and its join name the output first, then the folder.
        {{"--video-plan", "3", "out.mp4", "d"}, "dir=d video=out.mp4 plan=3"},
        {{"--video-join=3", "out.mp4"}, "video=out.mp4 join=3"},
        {{"--video", "out.mp4", "--jobs", "4", "d"}, "dir=d video=out.mp4 jobs=4"},
        {{"--help", "--version"}, "help=1 version=1"},
        // The console's default is the loopback address; the next argument is the folder, never a port.
        {{"--watch", "--serve", "9000"}, "dir=9000 watch=1 serve=127.0.0.1:8737"},
        {{"--watch", "--serve=0"}, "watch=1 serve=127.0.0.1:0"},
        {{"--serve=0.0.0.0:65535", "--watch"}, "watch=1 serve=0.0.0.0:65535"},
        {{"--watch", "--serve=[::1]:80"}, "watch=1 serve=[::1]:80"},
    };
    for (const auto& [args, changes] : rows) {
        CliResult r = parse(args);
        EXPECT_EQ(r.error, "") << changes;
        EXPECT_EQ(described(r.options), nothing_but(changes));
    }
}

TEST(CommandLine, UsageErrorsNameTheProblem) {
    const std::string time = " (seconds, 0 or more)", size = " (WIDTHxHEIGHT, two positive whole numbers)",
                      serve = " ([ADDR:]PORT, a port from 0 to 65535)";
    const std::pair<std::vector<const char*>, std::string> rows[] = {
        {{"--bogus"}, "unrecognized option '--bogus'"},
        {{"-x"}, "unrecognized option '-x'"},
        {{"--size"}, "option '--size' needs a value"},
        {{"--fullscreen=1"}, "option '--fullscreen' takes no value"},
        {{"a", "b"}, "unexpected argument 'b' (one DEMO_DIR at most)"},
        {{"--start", "-1"}, "invalid time for --start: '-1'" + time},
        {{"--end", "5s"}, "invalid time for --end: '5s'" + time},
        {{"--start", "nan"}, "invalid time for --start: 'nan'" + time},
        {{"--start="}, "invalid time for --start: ''" + time},
        {{"--size", "640"}, "invalid size for --size: '640'" + size},
        {{"--size", "0x480"}, "invalid size for --size: '0x480'" + size},
        {{"--size", "640x480x2"}, "invalid size for --size: '640x480x2'" + size},
        {{"--size", "64.5x48"}, "invalid size for --size: '64.5x48'" + size},
        {{"--fps", "0"}, "invalid rate for --fps: '0' (frames per second, above 0)"},
        {{"--video="}, "invalid file name for --video: '' (a file to write)"},
        {{"--watch", "--video", "a.mp4"}, "--watch and --video cannot be used together"},
        {{"--timeline", "t.svg", "--video", "v.mp4"}, "--video and --timeline cannot be used together"},
        {{"--lsp", "--check"}, "--check and --lsp cannot be used together"},
        {{"--from", "1"}, "--from needs --video"},
        {{"--to", "1"}, "--to needs --video"},
        {{"--profile", "master"}, "--profile needs --video"},
        {{"--video", "v.mp4", "--profile", "dvd"},
         "invalid profile for --profile: 'dvd' (web, compo or master)"},
        {{"--video", "v.mp4", "--from", "2", "--to", "2"}, "--from must be before --to"},
        {{"--video", "v.mp4", "--jobs", "0"},
         "invalid count for --jobs: '0' (a number of spans from 1 to 1000)"},
        {{"--jobs", "2"}, "--jobs needs --video"},
        {{"--no-audio"}, "--no-audio needs --video"},
        {{"--video-plan", "out.mp4"},
         "invalid count for --video-plan: 'out.mp4' (a number of spans from 1 to 1000)"},
        {{"--video-plan", "3"}, "--video-plan needs N and the FILE to write"},
        {{"--video-plan", "3", ""}, "--video-plan needs the FILE to write"},
        {{"--video-plan", "3", "o.mp4", "d", "e"}, "unexpected argument 'e' (one DEMO_DIR at most)"},
        {{"--video-plan", "3", "o.mp4", "--jobs", "2"}, "--jobs and --video-plan cannot be used together"},
        {{"--video-plan", "3", "--video-join", "3", "o.mp4"},
         "--video-plan and --video-join cannot be used together"},
        {{"--serve"}, "--serve needs --watch"},
        {{"--watch", "--serve=65536"}, "invalid address for --serve: '65536'" + serve},
        {{"--watch", "--serve=:80"}, "invalid address for --serve: ':80'" + serve},
        {{"--watch", "--serve="}, "invalid address for --serve: ''" + serve},
        // The first problem is the one reported.
        {{"--bogus", "--size", "0x0"}, "unrecognized option '--bogus'"},
    };
    for (const auto& [args, error] : rows) EXPECT_EQ(parse(args).error, error);
}

TEST(VideoExport, FrameCountAndSpanFollowTheRecordingClock) {
    // 0, 0.04, 0.08 of 0.1 s: the last step still falls inside; an end given in single precision
    // (2.2f is 2.2000000477) must not gain a frame.
    const std::tuple<double, double, double, long> rows[] = {
        {1, 3, 30, 60}, {0, 0.1, 25, 3}, {0, static_cast<double>(2.2f), 30, 66}, {6, 5, 25, 0}};
    for (const auto& [start, end, rate, frames] : rows)
        EXPECT_EQ(export_frame_total(start, end, rate), frames) << end;

    // A span's edges are where the clock's single-precision sums of 1/rate cross them: at 10 a
    // second frame 15 is at 1.50000024 (in) and frame 25 at 2.49999976 (in, before 2.5); at 60
    // frame 60 is at 0.99999970, short of 1, and frame 120 at 1.99999881, short of 2.
    const std::optional<float> all;
    const std::tuple<long, float, std::optional<float>, std::optional<float>, long, long> spans[] = {
        {40, 10, 1.5f, 2.5f, 15, 26}, {200, 60, 1.0f, 2.0f, 61, 121}, {30, 10, all, all, 0, 30},
        {30, 10, all, 1.5f, 0, 15},   {30, 10, 5.0f, all, 30, 30},    {30, 10, 2.0f, 1.0f, 10, 10}};
    for (const auto& [total, rate, from, to, first, end] : spans) {
        const VideoSpan span = video_span(0, total, rate, from, to);
        EXPECT_EQ(std::make_pair(span.first, span.end), std::make_pair(first, end)) << total << " " << rate;
    }

    // The time that cuts before frame k selects exactly the frames from k on, also where the
    // summed steps fall short of k / rate.
    for (const float rate : {10.0f, 60.0f, 29.97f}) {
        for (long k = 0; k < 200; k += 7) {
            const VideoSpan span =
                video_span(0.5f, 300, rate, video_cut_time(0.5f, rate, k), video_cut_time(0.5f, rate, k + 9));
            EXPECT_EQ(std::make_pair(span.first, span.end), std::make_pair(k, k + 9)) << rate << " " << k;
        }
    }
}

// From 5 s in steps of 0.1 s, each section drawn within a step of the warm-up's start takes it back
// to its own (4, 3, then 1, the list holding them the other way); 0.85 and the loading stay out.
TEST(VideoExport, TheWarmUpGoesBackThroughEverySectionDrawnSinceTheFirstFrame) {
    Demo demo(section_types);
    for (auto [type, start, end] : {std::tuple{SECTION_TYPE_CAMERA, 4.0f, 6.0f},
                                    {SECTION_TYPE_CAMERA, 3.0f, 3.95f},
                                    {SECTION_TYPE_CAMERA, 1.0f, 3.5f},
                                    {SECTION_TYPE_CAMERA, 0.0f, 0.85f},
                                    {SECTION_TYPE_LOADING, 0.5f, 10.0f}}) {
        Section* s = demo.sections.add();
        s->type = type, s->start = start, s->end = end;
    }
    EXPECT_EQ(warm_start(demo, 5, 0.1f), 1.0f);
}

TEST(VideoExport, ASplitExportIsCutOnKeyFrameIntervals) {
    // Whole intervals of 5 frames counted from the span's first frame, shared out evenly; never
    // more parts than intervals, never an empty one.
    using Spans = std::vector<std::pair<long, long>>;
    const std::tuple<long, long, int, Spans> rows[] = {
        {0, 30, 3, {{0, 10}, {10, 20}, {20, 30}}},
        {0, 31, 3, {{0, 10}, {10, 20}, {20, 31}}},
        {15, 26, 4, {{15, 20}, {20, 25}, {25, 26}}},
        {0, 2, 5, {{0, 2}}},
        {0, 35, 2, {{0, 15}, {15, 35}}},
        {7, 7, 3, {}},
    };
    for (const auto& [first, end, parts, want] : rows) {
        Spans got;
        for (const VideoSpan& s : video_span_split({first, end}, parts, 5)) got.emplace_back(s.first, s.end);
        EXPECT_EQ(got, want) << first << ".." << end << " in " << parts;
    }
}

TEST(VideoExport, TheProgressLineSumsWhatTheSpansReport) {
    // Reports cut anywhere between reads, the last whole one counting; anything but two counts
    // (signs, a third word, one that overflows, a line too long) leaves the last good one.
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"3 10\n"}, "3 10"},
        {{"3 1", "0\n7 1", "0\n8"}, "7 10"},
        {{"3 10\n", "x 10\n-1 10\n4 10 5\n4\n 4 10\n4 +10\n"}, "3 10"},
        {{"3 10\n", "99999999999999999999 5\n", std::string(100, '1') + " 1\n", std::string(100, '2')},
         "3 10"},
    };
    for (const auto& [reads, want] : rows) {
        VideoProgress span{0, 60};
        std::string pending;
        for (const std::string& r : reads) video_progress_take(pending, r.data(), r.size(), span);
        EXPECT_EQ(std::to_string(span.done) + " " + std::to_string(span.total), want) << reads[0];
        EXPECT_LE(pending.size(), 64u);
    }
    // 15 of 60 frames in 3 s: 5 a second, 45 left take 9 s; a count past its total is held to it.
    EXPECT_EQ(video_progress_line({{10, 20}, {5, 30}, {0, 10}}, 3),
              "Video: frame 15 of 60 in 3 spans, 5.0 frames/s, 0:09 left  ");
    EXPECT_EQ(video_progress_line({{25, 20}}, 0), "Video: frame 20 of 20, 0.0 frames/s, 0:00 left  ");
}

}  // namespace
