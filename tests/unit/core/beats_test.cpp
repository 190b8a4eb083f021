// The musical clock.
#include <gtest/gtest.h>

#include "core/beats.h"

TEST(MusicalClock, TimesAsBarAndBeatAndBack) {
    // At 120 bpm a beat lasts 0.5 s; 4 beats a bar make a bar 2 s, 3 make it 1.5 s.
    const Tempo four{120, 4}, three{120, 3};
    const struct {
        Tempo tempo;
        float seconds;
        const char* text;
    } rows[] = {
        {four, 0, "1:1.000"},          // the show's start
        {four, 2.5f, "2:2.000"},       // 5 beats: bar 2 begins after 4
        {four, 2.4999f, "2:1.999"},    // truncated, not rounded up to the next beat
        {four, 33.25f, "17:3.500"},    // 66.5 beats: 16 bars and 2.5 beats
        {three, 2.5f, "2:3.000"},      // 5 beats: bar 2 begins after 3
        {four, -1, "1:1.000"},         // before the show
        {Tempo{90, 4}, 1, "1:2.500"},  // 1.5 beats of 2/3 s
    };
    for (const auto& row : rows) EXPECT_EQ(beats_text(row.tempo, row.seconds), row.text) << row.seconds;

    // Bar 6 of 4 beats at 130 bpm is 20 beats, 9.2307... s; as a float the time falls short of
    // the beat, and still reads as bar 6.
    const Tempo odd{130, 4};
    float at = -1;
    ASSERT_EQ(beats_parse("6:1", odd, at), "");
    EXPECT_LT(static_cast<double>(at) * 130 / 60, 20.0);
    EXPECT_EQ(beats_text(odd, at), "6:1.000");
}
