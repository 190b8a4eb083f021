#include "runtime/overlay.h"

#include <gtest/gtest.h>

#include <string>

TEST(OverlayText, StatisticsBlockRounds) {
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
}
