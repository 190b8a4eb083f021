#include <gtest/gtest.h>

#include <limits>

#include "effects/deform.h"
#include "resources/spline.h"
#include "test_support.h"

namespace {
DeformGrid grid_of(float n, int width, int height, float mu = 8, float mv = 8) {
    const float params[3] = {n, mu, mv};
    DeformGrid g;
    deform_grid_init(g, params, width, height, 0x1B02);
    return g;
}
const float* point(const std::vector<float>& v, int n, int i, int j) {
    return &v[(n * i + j) * 3];
}
}  // namespace

TEST(DeformGrid, RestGridUsesIntegerSpacing) {
    DeformGrid g = grid_of(7, 800, 600);
    EXPECT_EQ(g.order, 7);
    EXPECT_EQ(g.mesh_u, 8);
    EXPECT_EQ(g.mode, 0x1B02);
    ASSERT_EQ(g.rest.size(), 7u * 7u * 3u);
    // 800 div 6 = 133: the last column lies at 798, short of the screen's edge.
    EXPECT_EQ(point(g.rest, 7, 1, 0)[0], 133.0f);
    EXPECT_EQ(point(g.rest, 7, 6, 0)[0], 798.0f);
    EXPECT_EQ(point(g.rest, 7, 0, 6)[1], 600.0f);  // 600 div 6 = 100, no shortfall
    for (int i = 0; i < 7; ++i) {
        for (int j = 0; j < 7; ++j) {
            const float* p = point(g.rest, 7, i, j);
            EXPECT_EQ(p[0], static_cast<float>(i * 133));
            EXPECT_EQ(p[1], static_cast<float>(j * 100));
            EXPECT_EQ(p[2], 0.0f);
        }
    }
    EXPECT_EQ(g.current, g.rest);

    DeformGrid two = grid_of(2.9f, 320, 240);
    EXPECT_EQ(two.order, 2);
    EXPECT_EQ(point(two.rest, 2, 1, 1)[0], 320.0f);
    EXPECT_EQ(point(two.rest, 2, 1, 1)[1], 240.0f);
}

TEST(DeformGrid, SplineChannelsAreTruncatedToAColumnAndRow) {
    DeformGrid g = grid_of(4, 300, 300);
    EXPECT_EQ(deform_point_index(g, 1.9f, 2.2f), 4 * 1 + 2);
    EXPECT_EQ(deform_point_index(g, -0.5f, 0.0f), 0);  // toward zero
    EXPECT_EQ(deform_point_index(g, 3.99f, 3.0f), 15);
    EXPECT_EQ(deform_point_index(g, 4.0f, 0.0f), -1);
    EXPECT_EQ(deform_point_index(g, 0.0f, -1.0f), -1);
    EXPECT_EQ(deform_point_index(g, std::numeric_limits<float>::quiet_NaN(), 0.0f), -1);
    EXPECT_EQ(deform_point_index(g, 1e20f, 1.0f), -1);

    const float move[5] = {1.9f, 2.2f, 5.0f, -7.0f, 2.0f};
    ASSERT_TRUE(deform_grid_move(g, move));
    const float* p = point(g.current, 4, 1, 2);
    EXPECT_EQ(p[0], 105.0f);
    EXPECT_EQ(p[1], 193.0f);
    EXPECT_EQ(p[2], 2.0f);
    // Offsets are from the rest position, not cumulative.
    ASSERT_TRUE(deform_grid_move(g, move));
    EXPECT_EQ(point(g.current, 4, 1, 2)[0], 105.0f);
}

TEST(DeformGrid, PointsOutsideTheGridAreIgnoredAndMovedPointsStay) {
    DeformGrid g = grid_of(3, 200, 200);
    const float first[5] = {0, 0, 10, 10, 0};
    ASSERT_TRUE(deform_grid_move(g, first));
    const std::vector<float> before = g.current;
    const float outside[5] = {3, 1, 50, 50, 50};
    EXPECT_FALSE(deform_grid_move(g, outside));
    const float negative[5] = {-2, 0, 50, 50, 50};
    EXPECT_FALSE(deform_grid_move(g, negative));
    EXPECT_EQ(g.current, before);
    // Switching to another point leaves the first one where it was put.
    const float second[5] = {2, 2, -3, 0, 0};
    ASSERT_TRUE(deform_grid_move(g, second));
    EXPECT_EQ(point(g.current, 3, 0, 0)[0], 10.0f);
    EXPECT_EQ(point(g.current, 3, 2, 2)[0], 197.0f);
}

TEST(DeformGrid, LoadChecks) {
    const float ok[3] = {4, 20, 20};
    EXPECT_EQ(fatal_message_of([&] { deform_check_params(3, ok, 30); }), "");
    EXPECT_EQ(fatal_message_of([&] { deform_check_params(2, ok, 30); }),
              "Three floats needed in deform effect");
    EXPECT_EQ(fatal_message_of([&] { deform_check_params(4, ok, 30); }),
              "Three floats needed in deform effect");

    const std::string order_msg = "2 to 30 control points needed in deform effect";
    for (float n : {1.99f, 0.0f, -5.0f, 31.0f, 258.0f, std::numeric_limits<float>::quiet_NaN()}) {
        const float p[3] = {n, 8, 8};
        EXPECT_EQ(fatal_message_of([&] { deform_check_params(3, p, 30); }), order_msg) << n;
    }
    for (float n : {2.0f, 30.9f}) {
        const float p[3] = {n, 8, 8};
        EXPECT_EQ(fatal_message_of([&] { deform_check_params(3, p, 30); }), "") << n;
    }
    // The grid keeps n in eight bits whatever OpenGL allows.
    const float big[3] = {256, 8, 8};
    EXPECT_EQ(fatal_message_of([&] { deform_check_params(3, big, 1000); }),
              "2 to 255 control points needed in deform effect");

    for (auto [u, v] :
         {std::pair{0.0f, 8.0f}, std::pair{8.0f, 0.5f}, std::pair{256.0f, 8.0f}, std::pair{8.0f, -1.0f}}) {
        const float p[3] = {4, u, v};
        EXPECT_EQ(fatal_message_of([&] { deform_check_params(3, p, 30); }),
                  "1 to 255 mesh steps needed in deform effect");
    }
    const float edge[3] = {4, 1, 255.5f};
    EXPECT_EQ(fatal_message_of([&] { deform_check_params(3, edge, 30); }), "");
}

TEST(DeformGrid, SplinesNeedFiveChannels) {
    Spline s;
    s.channels = 4;
    EXPECT_EQ(fatal_message_of([&] { deform_check_spline(&s, "data/p.spl"); }),
              "Five channels needed in deform spline 'data/p.spl'");
    s.channels = 5;
    EXPECT_EQ(fatal_message_of([&] { deform_check_spline(&s, "data/p.spl"); }), "");
    EXPECT_EQ(fatal_message_of([&] { deform_check_spline(nullptr, "x"); }),
              "Five channels needed in deform spline 'x'");
}
