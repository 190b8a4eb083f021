// The benchmark score at shutdown: one line on standard error and an information dialog, both
// after the window has gone, and before the error box when a fatal error ends the run.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <thread>

#include "viewer_session.h"

namespace {

// The score the clock rule gives for a recorded run of one section from 0 to `end` seconds:
// frames are drawn at 0, dt, 2 dt, ... (dt = 1 / rate, summed in single precision) until the
// first frame past the end, which stops the section and ends the demo; the clock advances
// after that frame too.
std::string expected_score(float rate, float end) {
    const float dt = 1.0f / rate;
    float time = 0.0f;
    int frames = 0;
    for (;;) {
        const bool last = time > end;
        time += dt;
        frames += 1;
        if (last) break;
    }
    const float per_second = static_cast<float>(frames) / time;
    const float score = static_cast<float>(per_second * 10000.0 / 60.0);
    char text[64];
    std::snprintf(text, sizeof text, "Score: %.2f", score);
    return text;
}

// A dialog stub that logs its arguments like the usual one, then says it is showing and waits
// until the test lets it go, so that the test can look at the screen while the box is up.
void write_waiting_dialog(const DemoBuilder& demo) {
    const std::string path = demo.bin.file("zenity");
    write_file(path, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" +
                         demo.bin.file("dialog.log") + "'; done\ntouch '" + demo.bin.file("showing") +
                         "'\ni=0\nwhile [ ! -e '" + demo.bin.file("release") +
                         "' ] && [ $i -lt 400 ]; do sleep 0.05; i=$((i+1)); done\nexit 0\n");
    chmod(path.c_str(), 0755);
}

}  // namespace

TEST(Bench, RecordedRunShowsTheScoreOfItsClockAfterTheWindowClosed) {
    DemoBuilder demo;
    demo.set("bench 1");
    demo.set("record_fps 30");
    demo.set("gl_rttWidth 64");
    demo.set("gl_rttHeight 32");
    demo.picture("data/grey.tga", 8, 8, Rgb{128, 128, 128});
    demo.background("data/grey.tga", 0, 0.5f);
    write_waiting_dialog(demo);
    const std::string score = expected_score(30.0f, 0.5f);

    X11Input x(xvfb_display());
    ASSERT_TRUE(x.ready());
    auto player = std::async(std::launch::async, [&] { return demo.run(); });
    bool showing = wait_for_path(demo.bin.file("showing"), 25);
    // While the box is up the window is gone and the line is already written.
    bool window_left = showing && x.window("Tarvel") == 0;
    // player_run collects standard error in this file while the player runs.
    std::string err_while_showing = read_file(demo.dir.file(".player-stderr"));
    write_file(demo.bin.file("release"), "");
    PlayerResult r = player.get();

    ASSERT_TRUE(showing) << r.err;
    EXPECT_TRUE(window_left);
    EXPECT_EQ(err_while_showing, "Benchmark: " + score + "\n");
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "Benchmark: " + score + "\n");
    EXPECT_EQ(demo.dialog_log(), "--info\n--no-markup\n--title=Benchmark\n--text=" + score + "\n");
    // Thirty frames a second of demo time make about 5000.
    EXPECT_NEAR(std::stof(score.substr(7)), 5000.0f, 0.1f) << score;
}

TEST(Bench, AFatalErrorShowsTheScoreBeforeTheErrorBox) {
    DemoBuilder demo;
    demo.set("bench 1");
    // The clock starts at demo_start, so the demo time is past 0 while sections load.
    demo.set("demo_start 2");
    demo.background("data/missing.tga", 0, 10);
    PlayerResult r = demo.run();

    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, 255);
    // No frame was drawn: 0 frames over 2 s.
    const std::string prefix = "Benchmark: Score: 0.00\nError: Error loading 'data/missing.tga': ";
    EXPECT_EQ(r.err.rfind(prefix, 0), 0u) << r.err;
    const std::string log = demo.dialog_log();
    const size_t benchmark = log.find("--title=Benchmark\n--text=Score: 0.00\n");
    const size_t error = log.find("--title=Error\n");
    ASSERT_NE(benchmark, std::string::npos) << log;
    ASSERT_NE(error, std::string::npos) << log;
    EXPECT_LT(benchmark, error);
}

TEST(Bench, NoScoreWhileTheDemoTimeIsStillZero) {
    DemoBuilder demo;
    demo.set("bench 1");
    demo.background("data/missing.tga", 0, 10);
    PlayerResult r = demo.run();

    EXPECT_EQ(r.exit_status, 255);
    EXPECT_EQ(r.err.rfind("Error: Error loading 'data/missing.tga': ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find("Benchmark"), std::string::npos) << r.err;
    EXPECT_EQ(demo.dialog_log().find("Benchmark"), std::string::npos);
}
