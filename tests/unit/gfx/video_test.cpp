#include "gfx/video.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {
uint32_t bits_of(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}
}  // namespace

TEST(PresentBand, LetterboxesTheDefaultWindow) {
    PresentBand wide = present_band(800, 600, true);
    EXPECT_EQ(bits_of(wide.aspect), 0x3FE38E39u);
    EXPECT_EQ(wide.width, 800);
    EXPECT_EQ(wide.height, 449);
    EXPECT_EQ(wide.y, 75);

    PresentBand square = present_band(800, 600, false);
    EXPECT_EQ(bits_of(square.aspect), 0x3FAAAAABu);
    EXPECT_EQ(square.height, 599);
    EXPECT_EQ(square.y, 0);

    PresentBand small = present_band(320, 240, true);
    EXPECT_EQ(small.height, 179);
    EXPECT_EQ(small.y, 30);
}

TEST(VideoSizes, FrameMustFitTheWindow) {
    EXPECT_EQ(video_size_problem(800, 600, 512, 512), "");
    EXPECT_EQ(video_size_problem(320, 240, 320, 240), "");
    EXPECT_EQ(video_size_problem(800, 600, 1024, 512),
              "Render-to-texture size 1024x512 does not fit in the 800x600 window");
    EXPECT_EQ(video_size_problem(800, 600, 512, 601),
              "Render-to-texture size 512x601 does not fit in the 800x600 window");
    EXPECT_EQ(video_size_problem(800, 600, 0, 512), "Invalid render-to-texture size 0x512");
    EXPECT_EQ(video_size_problem(-1, 600, 512, 512), "Invalid window size -1x600");
}
