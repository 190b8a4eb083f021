#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/overlay.h"

namespace {

OverlayStats sample_stats() {
    OverlayStats s;
    s.fps = 59.6f;
    s.frame = 1234;
    s.second = 12.34f;
    s.end = 0.0f;
    s.sound_cpu = 3.26f;
    s.channels = 1;
    s.texture_mb = 3407872.0 / 1048576.0;
    return s;
}

}  // namespace

TEST(OverlayText, FrameRateLineRoundsToWholeFrames) {
    EXPECT_EQ(overlay_fps_text(59.6f), "fps 60");
    EXPECT_EQ(overlay_fps_text(0.0f), "fps 0");
    EXPECT_EQ(overlay_fps_text(24.4f), "fps 24");
}

TEST(OverlayText, FourLineBlockWithoutCamera) {
    const std::string text = overlay_timing_text(sample_stats());
    EXPECT_EQ(text,
              "fps 60\n"
              "frame 1234 second 12.3/0.0\n"
              "sound 3.3% channels 1\n"
              "texture mem 3.25M");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
}

TEST(OverlayText, CameraLinesAlignPositionsInFiveCharacters) {
    OverlayStats s = sample_stats();
    s.end = 20.0f;
    s.has_camera = true;
    s.position[0] = 1.5f;
    s.position[1] = -12.3f;
    s.position[2] = 250.0f;
    s.target[0] = 0.0f;
    s.target[1] = -3.7f;
    s.target[2] = 1000.5f;
    EXPECT_EQ(overlay_timing_text(s),
              "fps 60\n"
              "frame 1234 second 12.3/20.0\n"
              "sound 3.3% channels 1\n"
              "texture mem 3.25M\n"
              "\n"
              "camera position\n"
              "loc x:   1.5 tgt x: 0.0\n"
              "loc y: -12.3 tgt y: -3.7\n"
              "loc z: 250.0 tgt z: 1000.5\n");
}

TEST(Benchmark, ScoreIsFramesPerDemoSecondTimesTenThousandOverSixty) {
    EXPECT_EQ(benchmark_score(600, 20.0f), 5000.0f);
    EXPECT_EQ(benchmark_text(benchmark_score(600, 20.0f)), "Score: 5000.00");
    // 25 frames a second: 10000 / 60 x 25 = 4166.666...
    EXPECT_EQ(benchmark_text(benchmark_score(250, 10.0f)), "Score: 4166.67");
    EXPECT_EQ(benchmark_score(250, 10.0f), 4166.6665f);
    EXPECT_EQ(benchmark_text(benchmark_score(0, 3.0f)), "Score: 0.00");
}

TEST(Benchmark, ScoreTakesTheFrameRateInSinglePrecision) {
    // 1 / 11 is rounded to float before scaling, which moves the last bit of the score.
    const float rate = 1.0f / 11.0f;
    EXPECT_EQ(benchmark_score(1, 11.0f), static_cast<float>(static_cast<double>(rate) * 10000.0 / 60.0));
    EXPECT_NE(benchmark_score(1, 11.0f), static_cast<float>(1.0 / 11.0 * 10000.0 / 60.0));
}

TEST(Benchmark, ShownOnlyWhenAskedAndTheClockMoved) {
    EXPECT_TRUE(benchmark_due(1, 0.04f));
    EXPECT_TRUE(benchmark_due(-1, 20.0f));
    EXPECT_FALSE(benchmark_due(0, 20.0f));
    EXPECT_FALSE(benchmark_due(1, 0.0f));
    EXPECT_FALSE(benchmark_due(1, -5.0f));
}
