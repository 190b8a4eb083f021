// Placement helpers of the scene sections: the spline transforms, matrix copies, the image quad,
// the sky box of macroBox, the object's build-up and the ray's bolts and glow.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <vector>

#include "base/random.h"
#include "script/section.h"
#include "sections/image.h"
#include "sections/macro_box.h"
#include "sections/object.h"
#include "sections/ray.h"
#include "sections/transform.h"

namespace {

using Floats = std::vector<float>;

void expect_point(const Matrix4& m, std::array<float, 3> in, std::array<float, 3> expected) {
    float out[3];
    matrix_transform_point(m, in.data(), out);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i], expected[i], 1e-5) << "component " << i;
}

float coordinate(const Vector3& v, int axis) {
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

struct Segment {
    float from[3], to[3];
};

// A ray from (1, 2, 3) to (9, -2, 7).
Ray make_ray(uint8_t mode, int segments, float amplitude, float reroll, float bolts) {
    Ray ray;
    ray.mode = mode, ray.segments = segments;
    ray.offsets.assign(3 * (segments + 1), 0.0f);
    const float ch0[10] = {1, 2, 3, 9, -2, 7, amplitude, 1, reroll, bolts};
    const float ch1[3] = {1, 0.5f, 0.25f};
    ray_set_channels(ray, ch0, ch1);
    return ray;
}

std::vector<Segment> walk(Ray& ray) {
    std::vector<Segment> segments;
    static Random random;
    ray_walk(ray, random, [&](const float* from, const float* to) {
        segments.push_back({{from[0], from[1], from[2]}, {to[0], to[1], to[2]}});
    });
    return segments;
}

}  // namespace

// Rotations turn counter-clockwise about their axis, of any length. Channels: scale x y z,
// angles x y z, translation x y z.
TEST(Transform, RotationsTurnCounterClockwiseAndChannelsScaleTurnAndMoveInTheirOrder) {
    expect_point(matrix_rotate(180, 0, 0, 5), {1, 2, 3}, {-1, -2, 3});
    expect_point(matrix_rotate(90, 0, 1, 0), {0, 0, 1}, {1, 0, 0});
    expect_point(matrix_rotate(30, 0, 0, 0), {1, 2, 3}, {1, 2, 3});
    float ch[9] = {2, 3, 4, 0, 0, 90, 1, 0, 0};
    // Scale-rotate-translate moves first: (0,0,0) to (1,0,0), turned to (0,1,0), scaled to (0,3,0).
    expect_point(transform_srt_matrix(ch), {0, 0, 0}, {0, 3, 0});
    // Translate-rotate-scale: (1,0,0) scaled to (2,0,0), turned to (0,2,0), moved to (1,2,0).
    expect_point(transform_trs_matrix(ch), {1, 0, 0}, {1, 2, 0});
    // Angles apply z, then y, then x to the vertex: y takes (1,0,0) to (0,0,-1), x to (0,1,0).
    float yx[9] = {1, 1, 1, 90, 90, 0, 0, 0, 0};
    expect_point(transform_srt_matrix(yx), {1, 0, 0}, {0, 1, 0});
    float zx[9] = {1, 1, 1, 90, 0, 90, 0, 0, 0};  // z: (0,1,0); then x: (0,0,1)
    expect_point(transform_srt_matrix(zx), {1, 0, 0}, {0, 0, 1});
    float zy[9] = {1, 1, 1, 0, 90, 90, 0, 0, 0};  // z: (0,1,0), which y leaves
    expect_point(transform_srt_matrix(zy), {1, 0, 0}, {0, 1, 0});
    expect_point(transform_trs_matrix(zy), {1, 0, 0}, {0, 1, 0});
}

TEST(MatrixCopies, CopyIGoesThroughTheStepITimesThenTheBase) {
    float base_ch[9] = {1, 1, 1, 0, 0, 30, 0, 2, 0}, step_ch[9] = {0.5f, 0.5f, 0.5f, 0, 0, 10, 3, 0, 0};
    Matrix4 base = transform_trs_matrix(base_ch), step = transform_trs_matrix(step_ch);
    std::vector<MatrixCopy> copies = matrix_copies(base, step, 2.5f, 5);
    ASSERT_EQ(copies.size(), 3u);
    float p[3] = {1, 1, 0}, q[3];
    for (int i = 0; i < 3; ++i) {  // p: (1, 1, 0) through the step i times
        matrix_transform_point(base, p, q);
        expect_point(copies[i].transform, {1, 1, 0}, {q[0], q[1], q[2]});
        EXPECT_FLOAT_EQ(copies[i].color_time, 2.0f * i);  // at i x elapsed / n: 0, 2, 4
        matrix_transform_point(step, p, q);
        std::copy(q, q + 3, p);
    }
    // Counts round up; empty or undefined ones draw nothing, huge ones are held to the limit.
    const std::pair<float, int> counts[] = {{0.01f, 1}, {-4, 0}, {NAN, 0}, {INFINITY, MATRIX_MAX_COPIES}};
    for (auto [n, count] : counts) EXPECT_EQ(matrix_copy_count(n), count) << n;
}

TEST(ImageQuad, OneUnitPerTexelCentredWithTheFirstRowUp) {
    ImageQuad quad;
    image_quad_build(quad, 3, 4, 2);
    EXPECT_EQ(quad.texture, 3);
    EXPECT_EQ(Floats(&quad.vertices[0][0], &quad.vertices[0][0] + 12),
              (Floats{-2, 1, 0, 2, 1, 0, 2, -1, 0, -2, -1, 0}));
    EXPECT_EQ(Floats(&quad.texcoords[0][0], &quad.texcoords[0][0] + 8), (Floats{0, 0, 1, 0, 1, 1, 0, 1}));
}

// Six faces, each four corners of the box (every coordinate -10 or 10) on one side of it, going
// round the face edge by edge, with the whole image over it.
TEST(SkyBox, EveryFaceIsAWholeSideOfTheBoxCoveredByTheImage) {
    SkyBox box;
    sky_box_fill(box, 42);
    for (const Vector3& c : box.corners)
        EXPECT_EQ((Floats{std::abs(c.x), std::abs(c.y), std::abs(c.z)}), (Floats{10, 10, 10}));
    std::set<std::pair<int, float>> sides;
    for (const SkyBoxFace& face : box.faces) {
        int agree[3] = {0, 0, 0};  // edges along which each axis stays put
        for (int k = 0; k < 4; ++k) {
            const Vector3 &c = box.corners[face.corners[k]], &n = box.corners[face.corners[(k + 1) % 4]];
            for (int a = 0; a < 3; ++a) agree[a] += coordinate(c, a) == coordinate(n, a);
        }
        std::sort(agree, agree + 3);  // one axis fixed, the others alternate
        EXPECT_EQ(std::vector<int>(agree, agree + 3), (std::vector<int>{2, 2, 4}));
        const Vector3 &a = box.corners[face.corners[0]], &b = box.corners[face.corners[2]];
        const int side = a.x == b.x ? 0 : a.y == b.y ? 1 : 2;
        sides.insert({side, coordinate(a, side)});
        EXPECT_EQ(face.texture, 42);
        EXPECT_EQ(Floats(face.s, face.s + 4), (Floats{1, 0, 0, 1}));
        EXPECT_EQ(Floats(face.t, face.t + 4), (Floats{1, 1, 0, 0}));
    }
    EXPECT_EQ(sides.size(), 6u);
    // Copies turn 26 degrees apart, plus one degree per second.
    EXPECT_EQ(macro_box_layer_angle(3, 0.5f), 78.5f);
}

TEST(Object, BuiltFractionRunsFromTheStartToTheEndValue) {
    Section s;
    s.duration = 4, s.params[5] = 1, s.params[6] = 0.5f;
    for (auto [elapsed, built] : {std::pair{0.0f, 1.0f}, {1.0f, 0.875f}, {2.0f, 0.75f}, {4.0f, 0.5f}}) {
        s.elapsed = elapsed;
        EXPECT_EQ(object_built_fraction(s), built) << elapsed;
    }
    EXPECT_EQ((Floats{object_line_width(3), object_line_width(0), object_line_width(-2)}), (Floats{3, 1, 1}));
}

// Without offsets both modes walk the line in equal steps, joint to joint, every bolt from the
// start point; the anchored mode ends on the end point exactly, whatever its jitter.
TEST(RayWalk, BoltsWalkTheLineInEqualStepsFromTheStartUpToTheLimit) {
    for (uint8_t mode : {0, 1}) {
        Ray ray = make_ray(mode, 5, 0, 1, 2);
        auto segments = walk(ray);
        ASSERT_EQ(segments.size(), 10u) << int(mode);
        for (int k = 0; k < 10; ++k) {
            const float j = k % 5 + 1, from = k % 5 == 0 ? 1 : segments[k - 1].to[0];
            EXPECT_EQ(segments[k].from[0], from) << int(mode) << " " << k;
            const float expected[3] = {1 + 8 * j / 5, 2 - 4 * j / 5, 3 + 4 * j / 5};
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(segments[k].to[c], expected[c], 1e-5) << int(mode) << " " << k;
        }
    }
    for (int count : {1, 6}) {
        Ray jittered = make_ray(3, count, 50, 1, 2);
        auto segments = walk(jittered);
        EXPECT_EQ(Floats(segments.back().to, segments.back().to + 3), (Floats{9, -2, 7}));
        EXPECT_TRUE(count == 1 || std::abs(segments[2].to[0] - 5) > 1e-3f);  // the middle joints move
    }
    Ray ray = make_ray(0, 1, 0, 0, 2.9f);  // bolt counts are truncated, huge ones held to the limit
    EXPECT_EQ(ray.bolts, 2);
    ray.bolts = 1 << 30;
    EXPECT_EQ(walk(ray).size(), static_cast<size_t>(RAY_MAX_BOLTS));
}

// Offsets are drawn in thousandths of the amplitude: a re-roll below the amplitude, each
// frame's jitter below a tenth of it, accumulating until the next re-roll.
TEST(RayWalk, JitterAccumulatesWithinItsBoundUntilAReroll) {
    Ray ray = make_ray(1, 6, 1, 0, 1);
    auto largest = [&] {
        float m = 0;
        for (int i = 0; i < 18; ++i) m = std::max(m, std::abs(ray.offsets[i]));
        return m;
    };
    for (int frame = 0; frame < 10; ++frame) walk(ray);
    EXPECT_GT(largest(), 0.1f);  // more than one frame's worth
    EXPECT_LE(largest(), 10 * 0.099f + 1e-5f);
    ray.amplitude = 4;
    Random random;
    ray_reroll(ray, random);
    EXPECT_GT(largest(), 1.0f);
    EXPECT_LE(largest(), 0.999f * 4 + 1e-5f);
    for (float v : ray.offsets) EXPECT_NEAR(v / 0.004f, std::round(v / 0.004f), 1e-2);
    EXPECT_EQ(ray.offsets[18], 0);  // the spare joint at the end is never touched
}

// Glow passes narrow by one unit down to what is left of the width, growing brighter.
TEST(RayGlow, PassesNarrowAndBrighten) {
    auto passes = [](float layers) {
        Floats out;
        for (const auto& p : ray_glow_passes(layers))
            for (float v : {p.width, p.alpha}) out.push_back(std::round(v * 1e4f) / 1e4f);
        return out;
    };
    EXPECT_EQ(passes(3), (Floats{3, 0.3333f, 2, 0.6667f, 1, 1}));
    EXPECT_EQ(passes(2.5f), (Floats{2.5f, 0.4f, 1.5f, 0.8f, 0.5f, 1.2f}));
    for (float none : {0.0f, -2.0f, NAN}) EXPECT_TRUE(passes(none).empty()) << none;
}
