// The time line picture of parsed scripts, its musical clock and its bar lines.
#include <gmock/gmock.h>

#include <cmath>
#include <map>
#include <regex>
#include <tuple>

#include "inspect/beats.h"
#include "inspect/timeline.h"
#include "runtime/registry.h"
#include "script/parser.h"
#include "sections/demo.h"
#include "sound_media.h"
#include "test_support.h"

// Over 4 s the axis has 160 pixels a second from x 110, labelled every 0.5 s. Every section is a
// box from its start to its end with its syncs, a lane per layer (the highest on top), the names
// escaped, the loading screen apart, and the music's loudness just where it plays.
TEST(Timeline, EverySectionIsABoxOnTheAxisWithTheMusicBelow) {
    TempDir dir;
    ScopedChdir here(dir.path);
    // 1.5 s of music from 1 s: loud from 1 to 2.5 s, nothing before or after.
    write_file(dir.file("data/music.wav"), sweep_wav(24000, 1.5));
    write_file(dir.file("a.tvl"),
               "[loading]\nparam 1 1 1 1\nstring data/back.tga\nstring data/front.tga\n"
               "[background]\nstart 0\nend 2.5\nstring data/sky&sea<1>.tga\n"
               "[background]\nstart 2.5\nend 4\nstring data/b.tga\n"
               "[efxFader]\nstart 1\nend 3\nlayer 2\nsync 1.5\nsync 2\n"
               "[sound]\nstart 1\nend 4\nlayer 5\nstring data/music.wav\n");
    Demo demo(section_types);
    Config settings;  // none that the picture shows
    const ScriptRead read{section_types, settings};
    ASSERT_EQ(fatal_message_of([&] { script_parse("./a.tvl", demo.sections, read); }), "");
    const std::string svg = timeline_svg(timeline_collect(demo, ""));
    EXPECT_THAT(svg, testing::HasSubstr("<g class=\"loading scene\">"));
    auto all = [&](const char* pattern) {
        const std::regex re(pattern);
        return std::vector<std::smatch>(std::sregex_iterator(svg.begin(), svg.end(), re),
                                        std::sregex_iterator());
    };

    const auto ticks = all("<text class=\"tick\" x=\"([0-9.]+)\" y=\"[0-9.]+\">([0-9.]+)</text>");
    EXPECT_EQ(ticks.size(), 9u);
    for (const std::smatch& m : ticks) EXPECT_EQ(std::stod(m[1]), 110 + 160 * std::stod(m[2])) << m[0];

    std::vector<std::string> boxes;  // "label: kind x +width", then the x of each sync
    std::map<std::string, double> top;
    for (const std::smatch& m :
         all("<g class=\"section ([a-z ]+)\"><title>[^<]*</title>\n<rect class=\"box\" "
             "x=\"([0-9.]+)\" y=\"([0-9.]+)\" width=\"([0-9.]+)\"[^\n]*\n<svg[^>]*><text "
             "class=\"label\"[^>]*>([^<]*)</text>\n</svg>\n((?:<line class=\"sync\"[^\n]*\n)*)</g>")) {
        boxes.push_back(m.str(5) + ": " + m.str(1) + " " + m.str(2) + " +" + m.str(4) +
                        std::regex_replace(m.str(6),
                                           std::regex("<line class=\"sync\" x1=\"([0-9.]+)\"[^\n]*\n"),
                                           " sync $1"));
        top[m[5]] = std::stod(m[3]);
    }
    const std::string sky = "background data/sky&amp;sea&lt;1&gt;.tga", b = "background data/b.tga";
    EXPECT_THAT(boxes, testing::UnorderedElementsAre(sky + ": scene 110 +400", b + ": scene 510 +240",
                                                     "efxFader: effect 270 +320 sync 350 sync 430",
                                                     "sound data/music.wav: sound 270 +480"));
    EXPECT_EQ(top[sky], top[b]);
    EXPECT_LT(top["efxFader"], top[sky]);
    EXPECT_LT(top["sound data/music.wav"], top["efxFader"]);

    double covered = 0;  // seconds of loudness bars, all within x 270 to 510
    for (const std::smatch& m :
         all("<rect class=\"level\" x=\"([0-9.]+)\" y=\"[0-9.]+\" width=\"([0-9.]+)\"")) {
        EXPECT_GE(std::stod(m[1]), 269.5);
        EXPECT_LE(std::stod(m[1]) + std::stod(m[2]), 510.5);
        covered += std::stod(m[2]) / 160;
    }
    EXPECT_NEAR(covered, 1.5, 0.06);
}

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
