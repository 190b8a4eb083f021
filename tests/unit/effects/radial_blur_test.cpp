#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "effects/radial_blur.h"

namespace {
// Params as a script gives them: passes, strength and step at the start, at the end, centres.
RadialBlur blur_of(float s0, float step0, float s1, float step1, float cx0, float cy0, float cx1, float cy1) {
    const float params[9] = {4, s0, step0, s1, step1, cx0, cy0, cx1, cy1};
    return radial_blur_from_params(params);
}
}  // namespace

TEST(RadialBlur, ParamsPairUpAsStartAndEndValues) {
    RadialBlur b = blur_of(0.1f, 0.02f, 0.9f, 0.06f, 0.25f, 0.75f, 0.5f, 0.0f);
    RadialBlurFrame f0 = radial_blur_frame(b, 0.0f);
    EXPECT_FLOAT_EQ(f0.alpha, 0.1f);
    EXPECT_FLOAT_EQ(f0.step, 0.02f);
    EXPECT_FLOAT_EQ(f0.cx2, 0.5f);
    EXPECT_FLOAT_EQ(f0.cy2, 1.5f);
    RadialBlurFrame f1 = radial_blur_frame(b, 1.0f);
    EXPECT_FLOAT_EQ(f1.alpha, 0.9f);
    EXPECT_FLOAT_EQ(f1.step, 0.06f);
    EXPECT_FLOAT_EQ(f1.cx2, 1.0f);
    EXPECT_FLOAT_EQ(f1.cy2, 0.0f);
    RadialBlurFrame half = radial_blur_frame(b, 0.5f);
    EXPECT_FLOAT_EQ(half.alpha, 0.5f);
    EXPECT_FLOAT_EQ(half.cx2, 0.75f);
    // Not clamped: past the end the values keep going.
    EXPECT_FLOAT_EQ(radial_blur_frame(b, 1.5f).alpha, 1.3f);
}

TEST(RadialBlur, WindowsOfTheFirstPasses) {
    RadialBlurFrame f{1.0f, 0.05f, 1.0f, 1.0f};  // centre (0.5, 0.5)
    RadialBlurWindow w0 = radial_blur_window(0, f);
    EXPECT_EQ(w0.left, 0.0f);
    EXPECT_EQ(w0.bottom, 0.0f);
    EXPECT_EQ(w0.right, 1.0f);
    EXPECT_EQ(w0.top, 1.0f);
    RadialBlurWindow w1 = radial_blur_window(1, f);
    EXPECT_FLOAT_EQ(w1.left, 0.05f);
    EXPECT_FLOAT_EQ(w1.bottom, 0.05f);
    EXPECT_FLOAT_EQ(w1.right, 0.95f);
    EXPECT_FLOAT_EQ(w1.top, 0.95f);
    RadialBlurWindow w2 = radial_blur_window(2, f);
    EXPECT_FLOAT_EQ(w2.left, 0.1f);
    EXPECT_FLOAT_EQ(w2.right, 0.9f);

    // Centre (0, 0): the left and bottom edges stay at 0.
    RadialBlurFrame corner{1.0f, 0.1f, 0.0f, 0.0f};
    RadialBlurWindow c2 = radial_blur_window(2, corner);
    EXPECT_EQ(c2.left, 0.0f);
    EXPECT_EQ(c2.bottom, 0.0f);
    EXPECT_FLOAT_EQ(c2.right, 0.8f);
    EXPECT_FLOAT_EQ(c2.top, 0.8f);

    // Step 0: every pass takes the whole frame.
    RadialBlurFrame still{1.0f, 0.0f, 0.6f, 1.4f};
    for (int i = 0; i < 3; ++i) {
        RadialBlurWindow w = radial_blur_window(i, still);
        EXPECT_EQ(w.left, 0.0f);
        EXPECT_EQ(w.right, 1.0f);
    }
}

TEST(RadialBlur, PointThatStaysFixedIsNotTheCentreInGeneral) {
    // A quad over the viewport shows texture x = left + x (right - left) at screen x; the point
    // that maps onto itself is 2 cx / (1 + 2 cx), the same for every pass.
    for (float cx : {0.0f, 0.2f, 0.5f, 0.8f}) {
        RadialBlurFrame f{1.0f, 0.04f, 2 * cx, 2 * cx};
        const double expected = 2.0 * cx / (1.0 + 2.0 * cx);
        for (int pass = 1; pass <= 2; ++pass) {
            RadialBlurWindow w = radial_blur_window(pass, f);
            const double fixed_x = w.left / (1.0 - (w.right - w.left));
            const double fixed_y = w.bottom / (1.0 - (w.top - w.bottom));
            EXPECT_NEAR(fixed_x, expected, 1e-5) << "cx " << cx;
            EXPECT_NEAR(fixed_y, expected, 1e-5) << "cx " << cx;
            // The mapping really fixes it.
            EXPECT_NEAR(w.left + fixed_x * (w.right - w.left), fixed_x, 1e-6);
        }
        if (cx == 0.0f || cx == 0.5f) {
            EXPECT_NEAR(expected, cx, 1e-7);
        } else {
            EXPECT_GT(std::abs(expected - cx), 0.05);
        }
    }
}

TEST(RadialBlur, PassCountComparesTheIndexAsAFloat) {
    EXPECT_EQ(radial_blur_pass_count(0.0f), 0);
    EXPECT_EQ(radial_blur_pass_count(-3.0f), 0);
    EXPECT_EQ(radial_blur_pass_count(0.01f), 1);
    EXPECT_EQ(radial_blur_pass_count(1.0f), 1);
    EXPECT_EQ(radial_blur_pass_count(2.5f), 3);
    EXPECT_EQ(radial_blur_pass_count(3.0f), 3);
    EXPECT_EQ(radial_blur_pass_count(8.0f), 8);
    EXPECT_EQ(radial_blur_pass_count(std::numeric_limits<float>::quiet_NaN()), 0);
    // A frame always ends.
    EXPECT_EQ(radial_blur_pass_count(1e30f), RADIAL_BLUR_MAX_PASSES);
    EXPECT_EQ(radial_blur_pass_count(std::numeric_limits<float>::infinity()), RADIAL_BLUR_MAX_PASSES);
}
