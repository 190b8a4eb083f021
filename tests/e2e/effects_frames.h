// Shared pieces of the frame-effect tests: recording demos over plain backgrounds and colour
// comparisons on the recorded frames.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "demo_builder.h"

// Records at `fps` frames a second until demo time `end`.
inline void effect_demo_clock(DemoBuilder& demo, float fps, float end) {
    demo.set("record_fps " + std::to_string(fps));
    demo.set("demo_end " + std::to_string(end));
}

// A frame-sized picture whose left half is one colour and right half another.
inline std::string effect_halves(DemoBuilder& demo, const std::string& path, Rgb left, Rgb right) {
    demo.picture(path, 256, 128, quadrant_rgb(256, 128, left, right, left, right));
    return path;
}

inline std::string effect_plain(DemoBuilder& demo, const std::string& path, Rgb colour) {
    demo.picture(path, 16, 16, colour);
    return path;
}

// Runs the demo and requires a normal end.
inline void effect_run_ok(const DemoBuilder& demo) {
    PlayerResult r = demo.run();
    ASSERT_FALSE(r.timed_out);
    ASSERT_EQ(r.exit_status, 0) << r.err;
}

inline bool effect_near(const Rgb& a, const Rgb& b, int tolerance) {
    for (int i = 0; i < 3; ++i) {
        if (std::abs(a[i] - b[i]) > tolerance) return false;
    }
    return true;
}

inline std::string effect_show(const Rgb& c) {
    return "(" + std::to_string(c[0]) + ", " + std::to_string(c[1]) + ", " + std::to_string(c[2]) + ")";
}

#define EXPECT_COLOUR(got, want, tolerance)              \
    EXPECT_TRUE(effect_near((got), (want), (tolerance))) \
        << "got " << effect_show(got) << ", want " << effect_show(want) << " within " << (tolerance)
