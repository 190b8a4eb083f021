#include "gfx/view.h"

#include <gtest/gtest.h>

TEST(Vectors, WorkPerComponentAndAllowAliasing) {
    Vector3 a{1, 2, 3};
    Vector3 b{10, 20, 30};
    Vector3 out;
    vec3_add(a, b, out);
    EXPECT_EQ(out.x + out.y + out.z, 66.0f);
    vec3_sub(a, b, out);  // the first operand is taken from the second
    EXPECT_EQ(out.x, 9.0f);
    EXPECT_EQ(out.z, 27.0f);
    vec3_scale(b, 0.5f, b);
    EXPECT_EQ(b.y, 10.0f);
    vec3_sub(a, a, a);
    EXPECT_EQ(a.x, 0.0f);
    EXPECT_EQ(a.y, 0.0f);
    EXPECT_EQ(a.z, 0.0f);
}

TEST(FreeCamera, MouseLookTurnsAndClampsPitch) {
    Camera c;
    free_camera_look(&c, 320, 240);
    EXPECT_EQ(c.rotation.x, 0.0f);
    EXPECT_EQ(c.rotation.y, 0.0f);
    free_camera_look(&c, 336, 240);
    EXPECT_EQ(c.rotation.y, -1.0f);
    free_camera_look(&c, 320, 232);
    EXPECT_EQ(c.rotation.x, 0.5f);
    for (int i = 0; i < 10; ++i) free_camera_look(&c, 320, 0);  // 15 degrees up each time
    EXPECT_EQ(c.rotation.x, 90.0f);
    for (int i = 0; i < 20; ++i) free_camera_look(&c, 320, 480);
    EXPECT_EQ(c.rotation.x, -90.0f);
    EXPECT_EQ(c.rotation.y, -1.0f);
}

TEST(FreeCamera, HoldingAKeyReachesTheClampAndReleasingCoasts) {
    const float dt = 0.01f;
    float speed = 0;
    int frames_to_clamp = 0;
    float moved = 0;
    for (int frame = 1; frame <= 200; ++frame) {
        float d = free_camera_speed_step(&speed, true, false, dt);
        moved += d;
        if (frames_to_clamp == 0 && d >= 6.0f * dt) frames_to_clamp = frame;
        // Each held frame gains 0.1 and loses 0.05 to friction until the clamp.
        if (frame == 10) {
            EXPECT_NEAR(speed, 0.5f, 1e-4f);
        }
        EXPECT_LE(d, 6.0f * dt);
    }
    EXPECT_NEAR(frames_to_clamp, 120, 1);
    EXPECT_NEAR(speed, 5.95f, 1e-4f);
    EXPECT_GT(moved, 0.0f);

    int coasting = 0;
    while (speed != 0.0f && coasting < 1000) {
        float before = speed;
        float d = free_camera_speed_step(&speed, false, false, dt);
        EXPECT_FLOAT_EQ(d, before * dt);
        ++coasting;
    }
    EXPECT_NEAR(coasting, 119, 1);
    EXPECT_EQ(free_camera_speed_step(&speed, false, false, dt), 0.0f);
}

TEST(FreeCamera, MovesAlongTheStoredAxes) {
    Camera c;
    free_camera_look(&c, 320, 240);
    camera_move_forward(&c, 2);  // never applied: no axes, no motion
    EXPECT_EQ(c.position.z, 0.0f);
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

TEST(FreeCamera, PrintLineIsASplineKey) {
    Camera c;
    camera_set_position(&c, 1, 2, 3);
    camera_set_rotation(&c, 4, 5, 6);
    camera_set_target(&c, 7, 8, 9);
    camera_set_fov(&c, 45, 1);
    EXPECT_EQ(camera_print_line(c),
              "1.000000 2.000000 3.000000 4.000000 5.000000 6.000000 7.000000 8.000000 9.000000 45.000000 "
              "0.100000 100.000000\n");
}
