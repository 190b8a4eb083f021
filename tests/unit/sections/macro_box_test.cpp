#include <gtest/gtest.h>

#include <set>

#include "sections/macro_box.h"

namespace {
float coordinate(const Vector3& v, int axis) {
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}
}  // namespace

TEST(SkyBoxTables, EveryFaceIsAWholeSideOfTheBox) {
    SkyBox box;
    sky_box_fill(box, 42);
    // Planes of the faces in order: axis and value.
    const int axes[6] = {1, 1, 0, 0, 2, 2};
    const float planes[6] = {-10, 10, -10, 10, 10, -10};
    std::set<int> used;
    std::set<std::pair<int, float>> sides;
    for (int f = 0; f < 6; ++f) {
        const SkyBoxFace& face = box.faces[f];
        EXPECT_EQ(face.texture, 42);
        std::set<int> distinct;
        for (int k = 0; k < 4; ++k) {
            ASSERT_GE(face.corners[k], 0);
            ASSERT_LT(face.corners[k], 8);
            distinct.insert(face.corners[k]);
            used.insert(face.corners[k]);
            const Vector3& c = box.corners[face.corners[k]];
            EXPECT_EQ(coordinate(c, axes[f]), planes[f]) << "face " << f;
            // Neighbouring corners share an edge of the box: they differ along one axis only.
            const Vector3& n = box.corners[face.corners[(k + 1) % 4]];
            int differing = 0;
            for (int a = 0; a < 3; ++a) differing += coordinate(c, a) != coordinate(n, a) ? 1 : 0;
            EXPECT_EQ(differing, 1) << "face " << f << " corner " << k;
        }
        EXPECT_EQ(distinct.size(), 4u);
        sides.insert({axes[f], planes[f]});
        // The image covers the face whole.
        const float s[4] = {1, 0, 0, 1}, t[4] = {1, 1, 0, 0};
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(face.s[k], s[k]);
            EXPECT_EQ(face.t[k], t[k]);
        }
    }
    EXPECT_EQ(used.size(), 8u);
    EXPECT_EQ(sides.size(), 6u);
    for (const Vector3& c : box.corners) {
        for (int a = 0; a < 3; ++a) EXPECT_EQ(std::abs(coordinate(c, a)), 10);
    }
}

TEST(SkyBoxTables, CopiesTurn26DegreesApartPlusOnePerSecond) {
    EXPECT_EQ(macro_box_layer_angle(0, 10), 10);
    EXPECT_EQ(macro_box_layer_angle(1, 10), 36);
    EXPECT_EQ(macro_box_layer_angle(3, 0.5f), 78.5f);
}
