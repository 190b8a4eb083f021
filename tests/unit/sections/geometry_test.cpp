// Placement helpers of the scene sections: the spline transforms, matrix copies, the image quad,
// the sky box of macroBox, the camera's channels and the object's build-up.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <set>

#include "core/config.h"
#include "script/section.h"
#include "gfx/view.h"
#include "sections/camera.h"
#include "sections/image.h"
#include "sections/macro_box.h"
#include "sections/object.h"
#include "sections/transform.h"

namespace {

void expect_point(const Matrix4& m, std::array<float, 3> in, std::array<float, 3> expected) {
    float out[3];
    matrix_transform_point(m, in.data(), out);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i], expected[i], 1e-5) << "component " << i;
}

float coordinate(const Vector3& v, int axis) {
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

}  // namespace

TEST(Transform, RotationsTurnCounterClockwiseAboutTheirAxis) {
    expect_point(matrix_rotate(90, 0, 0, 1), {1, 0, 0}, {0, 1, 0});
    expect_point(matrix_rotate(90, 1, 0, 0), {0, 1, 0}, {0, 0, 1});
    expect_point(matrix_rotate(90, 0, 1, 0), {0, 0, 1}, {1, 0, 0});
    expect_point(matrix_rotate(180, 0, 0, 5), {1, 2, 3}, {-1, -2, 3});  // any axis length
    expect_point(matrix_rotate(30, 0, 0, 0), {1, 2, 3}, {1, 2, 3});
}

// Channels: scale x y z, angles x y z, translation x y z.
TEST(Transform, ChannelsScaleTurnAndMoveInTheirOrder) {
    float ch[9] = {2, 3, 4, 0, 0, 90, 1, 0, 0};
    // Scale-rotate-translate moves the vertex first: (0,0,0) to (1,0,0), turned to (0,1,0), scaled to
    // (0,3,0).
    expect_point(transform_srt_matrix(ch), {0, 0, 0}, {0, 3, 0});
    // Translate-rotate-scale: (1,0,0) scaled to (2,0,0), turned to (0,2,0), moved to (1,2,0).
    expect_point(transform_trs_matrix(ch), {1, 0, 0}, {1, 2, 0});
    // Angles apply z, then y, then x to the vertex: y takes (1,0,0) to (0,0,-1), x to (0,1,0).
    float yx[9] = {1, 1, 1, 90, 90, 0, 0, 0, 0};
    expect_point(transform_srt_matrix(yx), {1, 0, 0}, {0, 1, 0});
    expect_point(transform_trs_matrix(yx), {1, 0, 0}, {0, 1, 0});
    float zx[9] = {1, 1, 1, 90, 0, 90, 0, 0, 0};  // z: (0,1,0); then x: (0,0,1)
    expect_point(transform_srt_matrix(zx), {1, 0, 0}, {0, 0, 1});
}

TEST(MatrixCopies, CountsRoundUpAndAreHeldToTheLimit) {
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, int> cases[] = {{3, 3},
                                           {2.5f, 3},
                                           {0.01f, 1},
                                           {0, 0},
                                           {-4, 0},
                                           {NAN, 0},
                                           {1e30f, MATRIX_MAX_COPIES},
                                           {inf, MATRIX_MAX_COPIES}};
    for (auto [n, count] : cases) EXPECT_EQ(matrix_copy_count(n), count) << n;
}

TEST(MatrixCopies, CopyIGoesThroughTheStepITimesThenTheBase) {
    float base_ch[9] = {1, 1, 1, 0, 0, 30, 0, 2, 0}, step_ch[9] = {0.5f, 0.5f, 0.5f, 0, 0, 10, 3, 0, 0};
    Matrix4 base = transform_trs_matrix(base_ch), step = transform_trs_matrix(step_ch);
    std::vector<MatrixCopy> copies = matrix_copies(base, step, 2.5f, 5);
    ASSERT_EQ(copies.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        float p[3] = {1, 1, 0}, q[3];
        for (int k = 0; k < i; ++k) {
            matrix_transform_point(step, p, q);
            std::copy(q, q + 3, p);
        }
        matrix_transform_point(base, p, q);
        expect_point(copies[i].transform, {1, 1, 0}, {q[0], q[1], q[2]});
        // Copy i reads its colour at i x elapsed / n: 0, 2, 4.
        EXPECT_FLOAT_EQ(copies[i].color_time, 2.0f * i);
    }
    for (const MatrixCopy& c : matrix_copies(base, step, 4, 0)) EXPECT_EQ(c.color_time, 0);
    EXPECT_TRUE(matrix_copies(base, step, -1, 5).empty());
}

TEST(ImageQuad, OneUnitPerTexelCentredWithTheFirstRowUp) {
    ImageQuad quad;
    image_quad_build(quad, 3, 4, 2);
    EXPECT_EQ(quad.texture, 3);
    const float vertices[4][3] = {{-2, 1, 0}, {2, 1, 0}, {2, -1, 0}, {-2, -1, 0}};
    const float texcoords[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int i = 0; i < 4; ++i) {
        for (int k = 0; k < 3; ++k) EXPECT_EQ(quad.vertices[i][k], vertices[i][k]);
        for (int k = 0; k < 2; ++k) EXPECT_EQ(quad.texcoords[i][k], texcoords[i][k]);
    }
}

TEST(SkyBox, EveryFaceIsAWholeSideOfTheBoxCoveredByTheImage) {
    SkyBox box;
    sky_box_fill(box, 42);
    std::set<int> used;
    std::set<std::pair<int, float>> sides;
    for (const SkyBoxFace& face : box.faces) {
        EXPECT_EQ(face.texture, 42);
        // The axis along which all four corners agree is the face's side.
        int side = -1;
        for (int a = 0; a < 3; ++a) {
            bool same = true;
            for (int k = 1; k < 4; ++k)
                same &= coordinate(box.corners[face.corners[k]], a) ==
                        coordinate(box.corners[face.corners[0]], a);
            if (same) side = a;
        }
        ASSERT_GE(side, 0);
        sides.insert({side, coordinate(box.corners[face.corners[0]], side)});
        for (int k = 0; k < 4; ++k) {
            used.insert(face.corners[k]);
            // Neighbouring corners share an edge: they differ along one axis only.
            const Vector3 &c = box.corners[face.corners[k]], &n = box.corners[face.corners[(k + 1) % 4]];
            int differing = 0;
            for (int a = 0; a < 3; ++a) differing += coordinate(c, a) != coordinate(n, a) ? 1 : 0;
            EXPECT_EQ(differing, 1);
        }
        EXPECT_EQ(std::vector<float>(face.s, face.s + 4), (std::vector<float>{1, 0, 0, 1}));
        EXPECT_EQ(std::vector<float>(face.t, face.t + 4), (std::vector<float>{1, 1, 0, 0}));
    }
    EXPECT_EQ(used.size(), 8u);
    EXPECT_EQ(sides.size(), 6u);
    for (const Vector3& c : box.corners)
        for (int a = 0; a < 3; ++a) EXPECT_EQ(std::abs(coordinate(c, a)), 10);
    // Copies turn 26 degrees apart, plus one degree per second.
    EXPECT_EQ(macro_box_layer_angle(0, 10), 10);
    EXPECT_EQ(macro_box_layer_angle(3, 0.5f), 78.5f);
}

TEST(Camera, ChannelsGoToTheFieldsInOrderButNeverTheAspect) {
    const float saved = display_aspect;
    display_aspect = 4.0f / 3.0f;
    Camera camera;
    const float ch[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 60, 0.5f, 80};
    camera_from_channels(&camera, ch);
    EXPECT_EQ(std::vector<float>({camera.position.x, camera.position.y, camera.position.z, camera.rotation.x,
                                  camera.rotation.y, camera.rotation.z, camera.target.x, camera.target.y,
                                  camera.target.z, camera.fov, camera.near, camera.far}),
              std::vector<float>(ch, ch + 12));
    EXPECT_EQ(camera.aspect, 4.0f / 3.0f);
    display_aspect = saved;
}

TEST(Object, BuiltFractionRunsFromTheStartToTheEndValue) {
    Section s;
    s.duration = 4;
    s.params[5] = 1;
    s.params[6] = 0.5f;
    const std::pair<float, float> cases[] = {{0, 1}, {1, 0.875f}, {2, 0.75f}, {4, 0.5f}};
    for (auto [elapsed, fraction] : cases) {
        s.elapsed = elapsed;
        EXPECT_EQ(object_built_fraction(s), fraction) << elapsed;
    }
    EXPECT_EQ(object_line_width(3), 3);
    EXPECT_EQ(object_line_width(0), 1);
    EXPECT_EQ(object_line_width(-2), 1);
}
