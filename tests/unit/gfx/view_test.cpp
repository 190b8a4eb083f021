#include "gfx/view.h"

#include <gtest/gtest.h>

#include <memory>

#include "resources/spline.h"
#include "test_support.h"

TEST(FreeCamera, MouseLookTurnsAndClampsPitch) {
    Camera c;
    free_camera_look(&c, 320, 240);  // the window centre: no turn
    EXPECT_EQ(c.rotation.x, 0.0f);
    EXPECT_EQ(c.rotation.y, 0.0f);
    free_camera_look(&c, 336, 232);
    EXPECT_EQ(c.rotation.y, -1.0f);
    EXPECT_EQ(c.rotation.x, 0.5f);
    for (int i = 0; i < 10; ++i) free_camera_look(&c, 320, 0);  // 15 degrees up each time
    EXPECT_EQ(c.rotation.x, 90.0f);
    for (int i = 0; i < 20; ++i) free_camera_look(&c, 320, 480);
    EXPECT_EQ(c.rotation.x, -90.0f);
}

TEST(FreeCamera, HoldingAKeyReachesTheClampAndReleasingCoasts) {
    // Each held frame gains 0.1 and loses 5% to friction: the speed approaches 6 and stops at the
    // clamp of 6 units a second; released, it coasts down by friction alone.
    const float dt = 0.01f;
    float speed = 0;
    for (int frame = 1; frame <= 200; ++frame) {
        float d = free_camera_speed_step(&speed, true, false, dt);
        EXPECT_LE(d, 6.0f * dt);
        if (frame == 10) {
            EXPECT_NEAR(speed, 0.5f, 1e-4f);
        }
    }
    EXPECT_NEAR(speed, 5.95f, 1e-4f);
    int coasting = 0;
    while (speed != 0.0f && coasting < 1000) {
        float before = speed;
        EXPECT_FLOAT_EQ(free_camera_speed_step(&speed, false, false, dt), before * dt);
        ++coasting;
    }
    EXPECT_NEAR(coasting, 119, 1);
}

TEST(FreeCamera, MovesAlongTheStoredAxes) {
    Camera c;
    c.back = {0, 0, 1};
    c.right = {1, 0, 0};
    c.target = {0, 0, -10};
    camera_move_forward(&c, 2);
    EXPECT_EQ(c.position.z, -2.0f);
    EXPECT_EQ(c.target.z, -12.0f);
    camera_move_sideways(&c, 3);
    EXPECT_EQ(c.position.x, 3.0f);
    EXPECT_EQ(c.target.x, 3.0f);
}

TEST(FreeCamera, PrintedLineReadsBackAsASplineKey) {
    Camera c;
    camera_set_position(&c, 1, 2, 3);
    camera_set_rotation(&c, 4, 5, 6);
    camera_set_target(&c, 7, 8, 9.5f);
    camera_set_fov(&c, 45, 1);
    camera_set_clip(&c, 0.5f, 250);
    TempDir dir;
    write_file(dir.file("cam.spl"), camera_print_line(c));
    std::unique_ptr<Spline> s(spline_load(dir.file("cam.spl").c_str()));
    ASSERT_EQ(s->key_count, 1);
    ASSERT_EQ(s->channels, 12);
    const float expected[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9.5f, 45, 0.5f, 250};
    for (int i = 0; i < 12; ++i) EXPECT_FLOAT_EQ(s->keys[0].values[i], expected[i]) << i;
}
