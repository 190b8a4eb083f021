// Ways out of the player: the end of the demo with the benchmark score, and Escape while the
// loading screen is up.
#include <gtest/gtest.h>

#include <cstdio>
#include <future>

#include "demo_builder.h"
#include "x11_input.h"

TEST(Shutdown, BenchmarkScoreFollowsTheEndOfTheDemo) {
    DemoBuilder demo;
    demo.set("bench 1");
    demo.picture("data/red.tga", 8, 8, Rgb{255, 0, 0});
    demo.background("data/red.tga", 0, 0.1f);
    PlayerResult r = demo.run();
    EXPECT_EQ(r.exit_status, 0);
    // Four frames (0 to 0.12), and the clock has moved once more after the last one.
    float time = 0;
    for (int i = 0; i < 4; ++i) time += 1.0f / 25.0f;
    char score[32];
    std::snprintf(score, sizeof score, "Score: %.2f", static_cast<double>(4.0f / time * 10000.0f / 60.0f));
    EXPECT_EQ(r.err, std::string("Benchmark: ") + score + "\n");
    std::string log = demo.dialog_log();
    EXPECT_NE(log.find("--title=Benchmark\n--text=" + std::string(score) + "\n"), std::string::npos) << log;
}

TEST(Shutdown, EscapeDuringLoadingEndsBeforeTheFirstFrame) {
    DemoBuilder demo;
    demo.set("bench 1");
    // Enough sections, each loading its own copy of a picture, for loading to take a while.
    std::string rgb = solid_rgb(256, 256, 0, 0, 255);
    demo.picture("data/blue.tga", 256, 256, rgb);
    for (int i = 0; i < 240; ++i) demo.background("data/blue.tga", 0, 10);

    std::string display = xvfb_display();
    X11Input x(display);
    ASSERT_TRUE(x.ready());
    auto player = std::async(std::launch::async, [&] { return demo.run(); });
    ASSERT_NE(x.wait_for_window("Tarvel", 20), 0u);
    // The load phase takes one waiting event after every step; keep pressing until it ends.
    std::future_status state;
    do {
        Window w = x.window("Tarvel");
        if (w != 0) x.key(w, XK_Escape);
        state = player.wait_for(std::chrono::milliseconds(20));
    } while (state != std::future_status::ready);
    PlayerResult r = player.get();
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_TRUE(demo.frames().empty()) << demo.frames().size() << " frames recorded";
    // Demo time never moved: no score.
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(demo.dialog_log(), "");
}
