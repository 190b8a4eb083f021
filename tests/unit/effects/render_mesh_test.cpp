#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "effects/render_mesh.h"

namespace {

using cld = std::complex<long double>;
constexpr long double kPi = std::numbers::pi_v<long double>;

struct St {
    double s, t;
};

St grid_at(int mode, float T, int i, int j) {
    RenderMesh mesh;
    render_mesh_grid_update(mesh, mode, T);
    const double* p = mesh.grid[21 * i + j];
    return {p[0], p[1]};
}

void expect_point(int mode, float T, int i, int j, long double s, long double t) {
    St got = grid_at(mode, T, i, j);
    EXPECT_NEAR(got.s, static_cast<double>(s), 1e-12) << "mode " << mode << " point " << i << "," << j;
    EXPECT_NEAR(got.t, static_cast<double>(t), 1e-12) << "mode " << mode << " point " << i << "," << j;
}

}  // namespace

TEST(RenderMeshGrid, UndistortedModesGiveThePointsOwnPosition) {
    for (int mode : {-1, 9, 100}) {
        RenderMesh mesh;
        render_mesh_grid_update(mesh, mode, 1.25f);
        for (int i = 0; i <= 20; ++i) {
            for (int j = 0; j <= 20; ++j) {
                EXPECT_DOUBLE_EQ(mesh.grid[21 * i + j][0], i / 20.0);
                EXPECT_DOUBLE_EQ(mesh.grid[21 * i + j][1], j / 20.0);
            }
        }
    }
}

TEST(RenderMeshGrid, ShiftAndZoomMoveByFixedAmounts) {
    for (int i : {0, 7, 20}) {
        for (int j : {0, 13, 20}) {
            expect_point(0, 3.0f, i, j, i / 20.0L + 0.01L, j / 20.0L + 0.01L);
            // Zoom pulls every point towards the middle of the grid by a thousandth per step.
            expect_point(1, 3.0f, i, j, i / 20.0L + (i - 10.5L) / 1000, j / 20.0L + (j - 10.5L) / 1000);
        }
    }
}

TEST(RenderMeshGrid, WarpIsUndistortedOnTheAntiDiagonalAndDiagonal) {
    // s scales by cos(pi (i + j - 21) / 50): exactly 1 where i + j = 21.
    St p = grid_at(2, 0.0f, 9, 12);
    EXPECT_DOUBLE_EQ(p.s, 9 / 20.0);
    // t scales by cos(pi (i - j) / 100): exactly 1 on the diagonal.
    p = grid_at(2, 0.0f, 6, 6);
    EXPECT_DOUBLE_EQ(p.t, 6 / 20.0);
    expect_point(2, 0.0f, 3, 17, 3 / 20.0L * std::cos(kPi * -1 / 50), 17 / 20.0L * std::cos(kPi * -14 / 100));
}

TEST(RenderMeshGrid, SwirlAndTwirlAreRotationsAboutTheMiddle) {
    // Swirl multiplies the offset from the middle by the complex number (ci + i sj).
    for (auto [i, j] : {std::pair{2, 15}, std::pair{10, 10}, std::pair{20, 0}}) {
        cld offset(i / 20.0L + (i - 10.5L) * 0.003L - 0.5L, j / 20.0L + (j - 10.5L) * 0.003L - 0.5L);
        cld turn(std::cos(kPi * (i - 9) / 32), std::sin(kPi * (j - 9) / 32));
        cld r = offset * turn + cld(0.5L, 0.5L);
        expect_point(3, 0.7f, i, j, r.real(), r.imag());
    }
    // Twirl turns each point about (0.5, 0.5) by an angle growing with its distance from the middle.
    for (auto [i, j] : {std::pair{0, 0}, std::pair{4, 17}, std::pair{11, 10}}) {
        long double d = std::hypot(i - 10.5L, j - 10.5L);
        cld r = cld(i / 20.0L - 0.5L, j / 20.0L - 0.5L) * std::polar(1.0L, kPi * d / 64) + cld(0.5L, 0.5L);
        expect_point(4, 0.7f, i, j, r.real(), r.imag());
        // A rotation keeps the distance from the middle.
        St p = grid_at(4, 0.0f, i, j);
        EXPECT_NEAR(std::hypot(p.s - 0.5, p.t - 0.5), std::hypot(i / 20.0 - 0.5, j / 20.0 - 0.5), 1e-12);
    }
}

TEST(RenderMeshGrid, ShimmerAndRippleUseTheClockRoundedToSinglePrecision) {
    const float T = 0.3f;
    const long double g = static_cast<float>(static_cast<double>(T) + 100.0);
    ASSERT_NE(g, static_cast<long double>(T) + 100.0L);  // the rounding matters at this T
    for (auto [i, j] : {std::pair{3, 5}, std::pair{1, 1}, std::pair{20, 19}}) {
        long double m = i * j;
        long double wave = g * 21 * i * j / kPi;
        expect_point(5, T, i, j, i / 20.0L + 0.02L * std::sin(wave),
                     j / 20.0L + 0.02L * std::tan(g * m / 100));
        expect_point(8, T, i, j, i / 20.0L + 0.01L * std::cos(wave),
                     j / 20.0L + 0.01L * std::cos(g * std::log(m + 2) / 100));
    }
    // Row or column 0 has m = 0: no shimmer in t, full ripple in s.
    expect_point(5, T, 0, 9, 0.0L, 9 / 20.0L);
    expect_point(8, T, 9, 0, 9 / 20.0L + 0.01L * std::cos(0.0L), 0.01L * std::cos(g * std::log(2.0L) / 100));
}

TEST(RenderMeshGrid, WaveAndPulseFollowTheElapsedTime) {
    const long double k = 0.3141592700403172L;
    // At T = 0 the wave has no x part and the largest y part.
    expect_point(6, 0.0f, 8, 4, 8 / 20.0L, 4 / 20.0L + 0.02L * std::cos(4 * k));
    // At T = 0.5 sin(pi T) = 1 and cos(pi T) is (almost) 0.
    expect_point(6, 0.5f, 8, 4, 8 / 20.0L + 0.02L * std::sin(8 * k), 4 / 20.0L + 0.02L);
    expect_point(7, 0.0f, 5, 6, 5 / 20.0L, 6 / 20.0L + 0.01L * std::log(2.0L));
    expect_point(7, 0.25f, 5, 6, 5 / 20.0L, 6 / 20.0L + 0.01L * std::log(1.0L + std::cos(kPi / 2)));
}

TEST(RenderMeshGrid, PolesLeaveTheCoordinateUndistorted) {
    // cos(2 pi T) + 1 = 0 at T = 0.5: ln 0 would give an infinite coordinate.
    RenderMesh mesh;
    render_mesh_grid_update(mesh, 7, 0.5f);
    for (int k = 0; k < 21 * 21; ++k) {
        EXPECT_TRUE(std::isfinite(mesh.grid[k][0]));
        EXPECT_TRUE(std::isfinite(mesh.grid[k][1]));
    }
    EXPECT_DOUBLE_EQ(mesh.grid[21 * 3 + 4][1], 4 / 20.0);
}
