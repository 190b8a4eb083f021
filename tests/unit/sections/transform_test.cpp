#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "sections/transform.h"

namespace {

void expect_point(const Matrix4& m, std::array<float, 3> in, std::array<float, 3> expected) {
    float out[3];
    matrix_transform_point(m, in.data(), out);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i], expected[i], 1e-5) << "component " << i;
}

void expect_same(const Matrix4& a, const Matrix4& b) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.m[i], b.m[i], 1e-4) << "element " << i;
}

}  // namespace

TEST(Transform, RotationsTurnCounterClockwiseAboutTheirAxis) {
    expect_point(matrix_rotate(90, 0, 0, 1), {1, 0, 0}, {0, 1, 0});
    expect_point(matrix_rotate(90, 1, 0, 0), {0, 1, 0}, {0, 0, 1});
    expect_point(matrix_rotate(90, 0, 1, 0), {0, 0, 1}, {1, 0, 0});
    // The axis need not be of unit length.
    expect_point(matrix_rotate(180, 0, 0, 5), {1, 2, 3}, {-1, -2, 3});
    expect_point(matrix_rotate(30, 0, 0, 0), {1, 2, 3}, {1, 2, 3});
}

TEST(Transform, ScaleRotateTranslateMovesTheVertexFirst) {
    float ch[9] = {2, 3, 4, 0, 0, 90, 1, 0, 0};
    // (0,0,0) + (1,0,0), turned to (0,1,0), scaled to (0,3,0).
    expect_point(transform_srt_matrix(ch), {0, 0, 0}, {0, 3, 0});
    // Translate-rotate-scale: (1,0,0) scaled to (2,0,0), turned to (0,2,0), moved to (1,2,0).
    expect_point(transform_trs_matrix(ch), {1, 0, 0}, {1, 2, 0});
}

TEST(Transform, AnglesApplyZThenYThenXToTheVertex) {
    float ch[9] = {1, 1, 1, 90, 90, 0, 0, 0, 0};
    // y first: (1,0,0) -> (0,0,-1); then x: -> (0,1,0). The other order would give (0,0,-1).
    expect_point(transform_srt_matrix(ch), {1, 0, 0}, {0, 1, 0});
    expect_point(transform_trs_matrix(ch), {1, 0, 0}, {0, 1, 0});
    float z_and_x[9] = {1, 1, 1, 90, 0, 90, 0, 0, 0};
    // z first: (1,0,0) -> (0,1,0); then x: -> (0,0,1).
    expect_point(transform_srt_matrix(z_and_x), {1, 0, 0}, {0, 0, 1});
}

TEST(Transform, IdentityChannelsGiveTheIdentity) {
    float ch[9] = {1, 1, 1, 0, 0, 0, 0, 0, 0};
    expect_same(transform_srt_matrix(ch), matrix_identity());
    expect_same(transform_trs_matrix(ch), matrix_identity());
}

TEST(MatrixCopies, FractionalCountsRoundUpAndEmptyCountsDrawNothing) {
    EXPECT_EQ(matrix_copy_count(3), 3);
    EXPECT_EQ(matrix_copy_count(2.5f), 3);
    EXPECT_EQ(matrix_copy_count(0.01f), 1);
    EXPECT_EQ(matrix_copy_count(0), 0);
    EXPECT_EQ(matrix_copy_count(-4), 0);
    EXPECT_EQ(matrix_copy_count(std::nanf("")), 0);
    EXPECT_EQ(matrix_copy_count(1e30f), MATRIX_MAX_COPIES);
    EXPECT_EQ(matrix_copy_count(std::numeric_limits<float>::infinity()), MATRIX_MAX_COPIES);
}

TEST(MatrixCopies, CopyIStandsUnderBaseTimesStepToTheI) {
    float base_ch[9] = {1, 1, 1, 0, 0, 30, 0, 2, 0};
    float step_ch[9] = {0.5f, 0.5f, 0.5f, 0, 0, 10, 3, 0, 0};
    Matrix4 base = transform_trs_matrix(base_ch);
    Matrix4 step = transform_trs_matrix(step_ch);
    std::vector<MatrixCopy> copies = matrix_copies(base, step, 3, 6);
    ASSERT_EQ(copies.size(), 3u);
    expect_same(copies[0].transform, base);
    expect_same(copies[1].transform, matrix_multiply(base, step));
    expect_same(copies[2].transform, matrix_multiply(matrix_multiply(base, step), step));
    // A vertex of copy 2 goes through the step twice, then the base.
    float p[3] = {1, 1, 0}, q[3], r[3], s[3], got[3];
    matrix_transform_point(step, p, q);
    matrix_transform_point(step, q, r);
    matrix_transform_point(base, r, s);
    matrix_transform_point(copies[2].transform, p, got);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], s[i], 1e-5);
    // Copy i reads its colour at i x elapsed / n: 0, 2, 4.
    EXPECT_FLOAT_EQ(copies[0].color_time, 0);
    EXPECT_FLOAT_EQ(copies[1].color_time, 2);
    EXPECT_FLOAT_EQ(copies[2].color_time, 4);

    // 2.5 copies: three of them, colours at 0, elapsed/2.5, 2 x elapsed/2.5.
    std::vector<MatrixCopy> partial = matrix_copies(base, step, 2.5f, 5);
    ASSERT_EQ(partial.size(), 3u);
    EXPECT_FLOAT_EQ(partial[2].color_time, 4);
    // At elapsed 0 every copy reads the first value.
    for (const MatrixCopy& c : matrix_copies(base, step, 4, 0)) EXPECT_EQ(c.color_time, 0);
    EXPECT_TRUE(matrix_copies(base, step, 0, 5).empty());
    EXPECT_TRUE(matrix_copies(base, step, -1, 5).empty());
}
