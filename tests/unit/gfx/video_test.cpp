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

TEST(Extensions, AreFoundAsSubstrings) {
    const char* list = "GL_ARB_multitexture GL_EXT_bgra";
    EXPECT_TRUE(extension_list_has(list, "GL_ARB_multitexture"));
    EXPECT_TRUE(extension_list_has(list, "bgra"));
    EXPECT_FALSE(extension_list_has(list, "GL_ARB_imaging"));
    EXPECT_FALSE(extension_list_has(nullptr, "GL_EXT_bgra"));
    EXPECT_EQ(std::string(gl_entry_point_names[0]), "glMultiTexCoord2fARB");
    EXPECT_EQ(std::string(gl_entry_point_names[GL_ENTRY_POINT_COUNT - 1]), "wglSetPbufferAttribARB");
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
