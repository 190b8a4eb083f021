// The view: the window's presentation band and sizes, and the free camera's moves.
#include "gfx/free_camera.h"
#include "gfx/window.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>

#include "resources/spline.h"
#include "test_support.h"

TEST(FreeCamera, MouseLookTurnsAndClampsPitch) {
    Camera c;
    free_camera_look(&c, 336, 232);  // 16 pixels right of and 8 above the window centre
    EXPECT_TRUE(c.rotation.y == -1.0f && c.rotation.x == 0.5f);
    for (int i = 0; i < 10; ++i) free_camera_look(&c, 320, 0);  // 15 degrees up each time
    EXPECT_EQ(c.rotation.x, 90.0f);
    for (int i = 0; i < 20; ++i) free_camera_look(&c, 320, 480);
    EXPECT_EQ(c.rotation.x, -90.0f);
}

TEST(FreeCamera, MovesAlongItsStoredAxesAndPrintsALineThatReadsBackAsASplineKey) {
    Camera c;
    camera_set_position(&c, 1, 2, 3);
    camera_set_target(&c, 0, 0, -10);
    c.back = {0.5f, 0, 1};
    c.right = {1, 0.5f, 0};
    camera_move_forward(&c, 2);  // against the back axis
    camera_move_sideways(&c, 3);
    const Vector3 &p = c.position, &t = c.target;
    EXPECT_EQ((std::vector<float>{p.x, p.y, p.z, t.x, t.y, t.z}),
              (std::vector<float>{1 - 1 + 3, 2 + 1.5f, 3 - 2, 0 - 1 + 3, 1.5f, -10 - 2}));

    camera_set_rotation(&c, 4, 5, 6);
    camera_set_fov(&c, 45, 1);
    camera_set_clip(&c, 0.5f, 250);
    TempDir dir;
    write_file(dir.file("cam.spl"), camera_print_line(c));
    std::unique_ptr<Spline> s(spline_load(dir.file("cam.spl").c_str()));
    ASSERT_EQ(s->key_count, 1);
    ASSERT_EQ(s->channels, 12);
    EXPECT_EQ(std::vector<float>(s->keys[0].values, s->keys[0].values + 12),
              (std::vector<float>{3, 3.5f, 1, 4, 5, 6, 2, 1.5f, -12, 45, 0.5f, 250}));
}

TEST(PresentBand, LetterboxesThePanoramicFrameInTheWindow) {
    // The width times 9/16 or 3/4, whole numbers here: a window of the band's own aspect is filled.
    const std::tuple<int, int, bool, float, int, int> cases[] = {{800, 600, true, 16.0f / 9, 450, 75},
                                                                 {800, 600, false, 4.0f / 3, 600, 0},
                                                                 {640, 360, true, 16.0f / 9, 360, 0}};
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
