#include "resources/spline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "media_files.h"
#include "test_support.h"

namespace {

// Loads `text` as a spline file and times it over `duration`.
std::unique_ptr<Spline> load_text(const std::string& text, float duration) {
    TempDir dir;
    write_file(dir.file("curve.spl"), text);
    std::unique_ptr<Spline> s(spline_load(dir.file("curve.spl").c_str()));
    spline_set_duration(s.get(), duration);
    return s;
}

float eval1(const Spline& s, float t) {
    float out[SPLINE_MAX_CHANNELS];
    EXPECT_EQ(spline_eval(&s, out, t), 1);
    return out[0];
}

std::string load_error(const std::string& text) {
    TempDir dir;
    ScopedChdir cd(dir.path);
    write_file("bad.spl", text);
    return fatal_message_of([] { delete spline_load("bad.spl"); });
}

}  // namespace

TEST(SplineLoad, ReadsKeysSkippingCommentsAndEmptyLines) {
    auto s = load_text("; x y z\n\n0 0 0\n;another\n10, 5, 0\n\r{20 0 -5}\n", 2);
    ASSERT_EQ(s->key_count, 3);
    EXPECT_EQ(s->channels, 3);
    EXPECT_EQ(s->keys.size(), 3u);
    EXPECT_FLOAT_EQ(s->keys[1].values[1], 5);
    EXPECT_FLOAT_EQ(s->keys[2].values[0], 20);
    EXPECT_FLOAT_EQ(s->keys[2].values[2], -5);
    EXPECT_FLOAT_EQ(s->duration, 2);
    EXPECT_FLOAT_EQ(s->keys[0].time, 0);
    EXPECT_FLOAT_EQ(s->keys[1].time, 1);
    EXPECT_FLOAT_EQ(s->keys[2].time, 2);
}

TEST(SplineLoad, CrLfFilesAndSixteenChannels) {
    auto s = load_text(
        "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16\r\n\r\n-1 -2 -3 -4 -5 -6 -7 -8 -9 -10 -11 -12 -13 "
        "-14 -15 -16\r\n",
        1);
    EXPECT_EQ(s->key_count, 2);
    EXPECT_EQ(s->channels, 16);
    EXPECT_FLOAT_EQ(s->keys[1].values[15], -16);
}

TEST(SplineLoad, NumbersEndAtTheFirstForeignCharacter) {
    auto s = load_text("1e3 7\n2.5 }\n", 1);
    EXPECT_EQ(s->channels, 1);
    EXPECT_FLOAT_EQ(s->keys[0].values[0], 1);
    EXPECT_FLOAT_EQ(s->keys[1].values[0], 2.5f);
}

TEST(SplineLoad, FileInsideAnArchive) {
    TempDir dir;
    write_file(dir.file("pack/paths/fly.spl"), "3\n4\n");
    ASSERT_TRUE(media::zip_directory(dir.file("pack"), dir.file("data.dat")));
    ScopedChdir cd(dir.path);
    std::unique_ptr<Spline> s(spline_load("data/paths/fly.spl"));
    EXPECT_EQ(s->key_count, 2);
    EXPECT_FLOAT_EQ(s->keys[1].values[0], 4);
}

TEST(SplineLoad, Errors) {
    EXPECT_EQ(fatal_message_of([] { delete spline_load("/nonexistent/x.spl"); }),
              "Spline: error loading '/nonexistent/x.spl'");
    EXPECT_EQ(load_error("; nothing but comments\n\n"), "Spline: incorrect format in 'bad.spl'");
    EXPECT_EQ(load_error(""), "Spline: incorrect format in 'bad.spl'");
    EXPECT_EQ(load_error("x 1 2\n"), "Spline: incorrect format in 'bad.spl'");
    // A line that starts with a blank is data, even when a ';' follows.
    EXPECT_EQ(load_error("   \n1 2\n"), "Spline: incorrect format in 'bad.spl'");
    EXPECT_EQ(load_error(" ; 1 2\n"), "Spline: incorrect format in 'bad.spl'");
    EXPECT_EQ(load_error("1 2\n   \n"), "Spline: incorrect channel in 'bad.spl'");
    EXPECT_EQ(load_error("1 2\n1 2 3\n"), "Spline: incorrect channel in 'bad.spl'");
    EXPECT_EQ(load_error("1 2 3\n1 2\n"), "Spline: incorrect channel in 'bad.spl'");
    EXPECT_EQ(load_error("1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17\n"),
              "Script: too many floats in vector '1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17\n'");
    // Lines of more than 255 characters are read in pieces: here "1 2" and then "5".
    EXPECT_EQ(load_error("1 2" + std::string(300, ' ') + "5\n"), "Spline: incorrect channel in 'bad.spl'");
}

TEST(SplineEval, ThreeKeysOverTwoSeconds) {
    auto s = load_text("0\n10\n20\n", 2);
    EXPECT_EQ(eval1(*s, 0), 0);
    EXPECT_EQ(eval1(*s, 1), 10);
    EXPECT_EQ(eval1(*s, 2), 20);
    EXPECT_EQ(eval1(*s, 5), 20);
    EXPECT_EQ(eval1(*s, 0.5f), 5);
    // No clamping at the start: the first segment's cubic goes on below 0.
    EXPECT_FLOAT_EQ(eval1(*s, -0.5f), -5);
}

TEST(SplineEval, TwoKeysFollowTheChord) {
    // Both tangents equal the chord, and the Hermite cubic then reduces to a straight line.
    auto s = load_text("2 -1\n6 3\n", 4);
    float out[SPLINE_MAX_CHANNELS];
    for (float t : {-1.0f, 0.0f, 0.5f, 1.0f, 2.5f, 3.0f, 4.0f}) {
        ASSERT_EQ(spline_eval(s.get(), out, t), 2);
        EXPECT_NEAR(out[0], 2 + t, 1e-5) << t;
        EXPECT_NEAR(out[1], -1 + t, 1e-5) << t;
    }
    spline_eval(s.get(), out, 9);
    EXPECT_FLOAT_EQ(out[0], 6);
}

TEST(SplineEval, InnerSegmentsReproduceAQuadratic) {
    // Keys t^2 at t = 0..4: central tangents are exact derivatives, so segments between
    // inner keys follow t^2 exactly (up to rounding).
    auto s = load_text("0\n1\n4\n9\n16\n", 4);
    for (float t = 1.0f; t <= 3.0f; t += 0.125f) EXPECT_NEAR(eval1(*s, t), t * t, 1e-4) << t;
    EXPECT_FLOAT_EQ(eval1(*s, 0.5f), 0.375f);  // end segment: tangent is the chord (1)
}

TEST(SplineEval, WritesOnlyItsChannels) {
    auto s = load_text("1 2\n3 4\n", 1);
    float out[SPLINE_MAX_CHANNELS];
    for (float& v : out) v = 99;
    EXPECT_EQ(spline_eval(s.get(), out, 0.25f), 2);
    EXPECT_EQ(out[2], 99);
    EXPECT_EQ(out[15], 99);
}

TEST(SplineEval, ASingleKeyHoldsEverywhere) {
    auto s = load_text("4 5 6\n", 3);
    EXPECT_EQ(s->keys[0].time, 0) << "the key time must not be 0 x (3 / 0)";
    float out[SPLINE_MAX_CHANNELS];
    for (float t : {-2.0f, 0.0f, 1.5f, 100.0f}) {
        ASSERT_EQ(spline_eval(s.get(), out, t), 3);
        EXPECT_EQ(out[0], 4);
        EXPECT_EQ(out[2], 6);
    }
}

TEST(SplineEval, ZeroDurationStepsFromFirstToLastKeyWithoutNaN) {
    for (int keys : {2, 3, 5}) {
        std::string text;
        for (int k = 0; k < keys; ++k) text += std::to_string(10 * (k + 1)) + "\n";
        auto s = load_text(text, 0);
        for (const SplineKey& key : s->keys) EXPECT_EQ(key.time, 0);
        EXPECT_EQ(eval1(*s, -1), 10);
        EXPECT_EQ(eval1(*s, 0), 10 * keys);
        EXPECT_EQ(eval1(*s, 3), 10 * keys);
    }
    // A duration that overflows to infinity is taken as 0 too.
    auto s = load_text("1\n2\n3\n", INFINITY);
    EXPECT_FALSE(std::isnan(eval1(*s, 0.5f)));
    EXPECT_EQ(eval1(*s, 0.5f), 3);
}
