#include "runtime/overlay.h"

#include <gtest/gtest.h>

#include <string>

TEST(OverlayText, StatisticsBlockRoundsAndTheBenchmarkScore) {
    OverlayStats s;
    s.fps = 59.6f;
    s.frame = 1234;
    s.second = 12.34f;
    s.sound_cpu = 3.26f;
    s.channels = 1;
    s.texture_mb = 3407872.0 / 1048576.0;  // 3.25 MB
    const std::string block = "fps 60\nframe 1234 second 12.3/0.0\nsound 3.3% channels 1\ntexture mem 3.25M";
    EXPECT_EQ(overlay_timing_text(s), block);
    EXPECT_EQ(overlay_fps_text(24.4f), "fps 24");
    // Positions right-aligned in five characters, targets as they come.
    s.has_camera = true;
    s.position[0] = 1.5f, s.position[1] = -12.3f, s.position[2] = 250;
    s.target[1] = -3.7f, s.target[2] = 1000.5f;
    EXPECT_EQ(overlay_timing_text(s), block +
                                          "\n\ncamera position\nloc x:   1.5 tgt x: 0.0\nloc y: -12.3 tgt y: "
                                          "-3.7\nloc z: 250.0 tgt z: 1000.5\n");
    // The benchmark: frames over demo seconds x 10000 / 60, once asked and the clock has moved.
    EXPECT_EQ(benchmark_text(benchmark_score(1, 3)) + benchmark_text(benchmark_score(30, 1)),
              "Score: 55.56Score: 5000.00");
    EXPECT_TRUE(benchmark_due(1, 0.04f) && !benchmark_due(0, 5) && !benchmark_due(1, 0));
}
