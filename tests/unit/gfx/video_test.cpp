#include "gfx/video.h"

#include <gtest/gtest.h>

TEST(PresentBand, LetterboxesThePanoramicFrameInTheWindow) {
    struct Case {
        int width, height;
        bool panoramic;
        float aspect;
        int band_height, y;
    };
    const Case cases[] = {
        {800, 600, true, 16.0f / 9, 449, 75},
        {800, 600, false, 4.0f / 3, 599, 0},
        {320, 240, true, 16.0f / 9, 179, 30},
    };
    for (const Case& c : cases) {
        PresentBand band = present_band(c.width, c.height, c.panoramic);
        EXPECT_FLOAT_EQ(band.aspect, c.aspect);
        EXPECT_EQ(band.width, c.width);
        EXPECT_EQ(band.height, c.band_height);
        EXPECT_EQ(band.y, c.y);
    }
}

TEST(VideoSizes, TheRenderTextureMustFitTheWindow) {
    EXPECT_EQ(video_size_problem(800, 600, 512, 512), "");
    EXPECT_EQ(video_size_problem(800, 600, 512, 601),
              "Render-to-texture size 512x601 does not fit in the 800x600 window");
    EXPECT_EQ(video_size_problem(800, 600, 0, 512), "Invalid render-to-texture size 0x512");
    EXPECT_EQ(video_size_problem(-1, 600, 512, 512), "Invalid window size -1x600");
}
