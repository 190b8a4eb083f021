// The musical clock and the bar lines of the time line picture.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <tuple>

#include "inspect/beats.h"
#include "inspect/timeline.h"

TEST(MusicalClock, TimesAsBarAndBeatAndBack) {
    // At 120 bpm a beat lasts 0.5 s; 4 beats a bar make a bar 2 s, 3 make it 1.5 s.
    const Tempo four{120, 4}, three{120, 3};
    const std::tuple<Tempo, float, const char*> rows[] = {
        {four, 2.5f, "2:2.000"},       // 5 beats: bar 2 begins after 4
        {four, 2.4999f, "2:1.999"},    // truncated, not rounded up to the next beat
        {three, 2.5f, "2:3.000"},      // 5 beats: bar 2 begins after 3
        {four, -1, "1:1.000"},         // before the show
        {Tempo{90, 4}, 1, "1:2.500"},  // 1.5 beats of 2/3 s
    };
    for (const auto& [tempo, seconds, text] : rows) EXPECT_EQ(beats_text(tempo, seconds), text) << seconds;

    // Bar 6 of 4 beats at 130 bpm is 20 beats, 9.2307... s; as a float the time falls short of
    // the beat, and still reads as bar 6.
    const Tempo odd{130, 4};
    float at = -1;
    ASSERT_EQ(beats_parse("6:1", odd, at), "");
    EXPECT_LT(static_cast<double>(at) * 130 / 60, 20.0);
    EXPECT_EQ(beats_text(odd, at), "6:1.000");
}

namespace {

// The x of each line across the lanes whose class starts with "bar", with its class.
std::vector<std::pair<double, std::string>> bar_lines(const std::string& svg) {
    static const std::regex line(
        "<line class=\"(bar[^\"]*)\" x1=\"([-0-9.]+)\" y1=\"([-0-9.]+)\" x2=\"[-0-9.]+\" "
        "y2=\"([-0-9.]+)\"/>");
    std::vector<std::pair<double, std::string>> found;
    for (std::sregex_iterator it(svg.begin(), svg.end(), line), end; it != end; ++it) {
        // The legend's sample is shorter than a lane.
        if (std::stod((*it)[4]) - std::stod((*it)[3]) > 24) found.emplace_back(std::stod((*it)[2]), (*it)[1]);
    }
    return found;
}

}  // namespace

TEST(Timeline, BarLinesWithATempoAndNoneWithout) {
    // One section over 10 s: 160 pixels a second from x 110, so the axis ends at 1710.
    TimelineInput in;
    in.boxes.push_back({"efxInverse", "", 0, 10, 0, {}, true});
    // No tempo, and none that --timeline (which does not refuse settings) could take for one.
    for (const Tempo none : {Tempo{}, Tempo{INFINITY, 4}, Tempo{120, 0}}) {
        in.tempo = none;
        EXPECT_TRUE(bar_lines(timeline_svg(in)).empty()) << none.bpm << " " << none.beats_per_bar;
    }

    // 2 s bars: lines at 0, 2, ... 10 s, the strong ones at bars 1 and 5.
    in.tempo = {120, 4};
    const std::vector<std::pair<double, std::string>> bars = {
        {110, "bar four"}, {430, "bar"}, {750, "bar"}, {1070, "bar"}, {1390, "bar four"}, {1710, "bar"}};
    EXPECT_EQ(bar_lines(timeline_svg(in)), bars);

    // 0.01 s bars are 1.6 pixels apart: every 4th bar's line only, 6.4 pixels apart, 0 to 10 s.
    in.tempo = {24000, 4};
    const auto dense = bar_lines(timeline_svg(in));
    ASSERT_EQ(dense.size(), 251u);
    EXPECT_EQ(dense[1], std::make_pair(116.4, std::string("bar four")));
    EXPECT_EQ(dense.back().first, 1710);
}
