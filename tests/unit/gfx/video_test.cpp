#include "gfx/window.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

TEST(PresentBand, LetterboxesThePanoramicFrameInTheWindow) {
    // The width times 9/16 or 3/4, whole numbers here: a window of the band's own aspect is filled.
    const std::tuple<int, int, bool, float, int, int> cases[] = {{800, 600, true, 16.0f / 9, 450, 75},
                                                                 {800, 600, false, 4.0f / 3, 600, 0},
                                                                 {640, 360, true, 16.0f / 9, 360, 0},
                                                                 {320, 240, true, 16.0f / 9, 180, 30}};
    for (const auto& [width, height, panoramic, aspect, band_height, y] : cases) {
        PresentBand band = present_band(width, height, panoramic);
        EXPECT_FLOAT_EQ(band.aspect, aspect);
        EXPECT_EQ((std::vector<int>{band.width, band.height, band.y}),
                  (std::vector<int>{width, band_height, y}));
    }
}

TEST(VideoSizes, TheRenderTextureMustFitTheWindow) {
    EXPECT_EQ(window_size_problem(800, 600, 512, 512), "");
    EXPECT_EQ(window_size_problem(800, 600, 512, 601),
              "Render-to-texture size 512x601 does not fit in the 800x600 window");
    EXPECT_EQ(window_size_problem(800, 600, 0, 512), "Invalid render-to-texture size 0x512");
    EXPECT_EQ(window_size_problem(-1, 600, 512, 512), "Invalid window size -1x600");
}
