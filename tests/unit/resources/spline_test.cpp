#include "resources/spline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "resources/spline_text.h"
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

}  // namespace

TEST(SplineLoad, ReadsKeysSkippingCommentsAndEmptyLinesAndSpreadsThemOverTheDuration) {
    // A byte-order mark before the first line, as editors write it, is no part of it.
    auto s = load_text("\xEF\xBB\xBF; x y z\n\n0 0 0\n;another\r\n10, 5, 0\n\r{20 0 -5}\n1 2 3e5\n", 3);
    ASSERT_EQ(s->key_count, 4);
    EXPECT_EQ(s->channels, 3);
    // A number ends at its first foreign character: "3e5" is 3.
    EXPECT_EQ((std::vector<float>{s->keys[1].values[1], s->keys[2].values[2], s->keys[3].values[2]}),
              (std::vector<float>{5, -5, 3}));
    for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(s->keys[k].time, k);
}

TEST(SplineLoad, RefusalsNameTheFile) {
    const std::string format = "Spline: incorrect format in 'bad.spl'";
    const std::string channel = "Spline: incorrect channel in 'bad.spl'";
    const std::pair<std::string, std::string> cases[] = {
        {"; nothing but comments\n\n", format},
        {"x 1 2\n", format},
        {"   \n1 2\n", format},  // a line that starts with a blank is data, even when a ';' follows
        {"1 2\n   \n", channel},
        {"1 2\n1 2 3\n", channel},
        {"1 2 3\n1 2\n", channel},
        {"1 2" + std::string(300, ' ') + "5\n", channel},  // read in pieces of 255: "1 2", then "5"
        {"1 2\n" + std::string(8u << 20, ';'), "Spline: 'bad.spl' is larger than 8 MB"},
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17\n",
         "Script: too many floats in vector '1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17\n'"},
    };
    TempDir dir;
    ScopedChdir cd(dir.path);
    for (const auto& [text, message] : cases) {
        write_file("bad.spl", text);
        EXPECT_EQ(fatal_message_of([] { delete spline_load("bad.spl"); }), message) << text;
    }
    EXPECT_EQ(fatal_message_of([] { delete spline_load("/nonexistent/x.spl"); }),
              "Spline: error loading '/nonexistent/x.spl'");
}

TEST(SplineEval, TwoKeysFollowTheChordAndDegenerateTimingsHoldWithoutNaN) {
    // Both tangents equal the chord, and the Hermite cubic then reduces to a straight line.
    auto two = load_text("2 -1\n6 3\n", 4);
    float out[SPLINE_MAX_CHANNELS];
    std::fill(std::begin(out), std::end(out), 99.0f);
    for (float t : {-1.0f, 0.0f, 0.5f, 2.5f, 4.0f}) {
        ASSERT_EQ(spline_eval(two.get(), out, t), 2);
        EXPECT_NEAR(out[0], 2 + t, 1e-5) << t;
        EXPECT_NEAR(out[1], -1 + t, 1e-5) << t;
    }
    EXPECT_EQ(out[2], 99) << "a channel the spline does not have is written";
    auto single = load_text("4 5 6\n", 3);
    EXPECT_EQ(single->keys[0].time, 0) << "the key time must not be 0 x (3 / 0)";
    for (float t : {-2.0f, 1.5f, 100.0f}) {
        ASSERT_EQ(spline_eval(single.get(), out, t), 3);
        EXPECT_EQ(out[2], 6);
    }
    // A zero duration, or one that overflows to infinity, steps from the first to the last key.
    for (float duration : {0.0f, INFINITY}) {
        auto s = load_text("10\n20\n30\n", duration);
        EXPECT_EQ((std::vector<float>{eval1(*s, -1), eval1(*s, 0), eval1(*s, 0.5f)}),
                  (std::vector<float>{10, 30, 30}));
    }
}

TEST(SplineEval, InnerSegmentsReproduceAQuadraticAndTheEndsTakeTheChord) {
    // Keys t^2 at t = 0..4: central tangents are exact derivatives, so segments between inner
    // keys follow t^2 exactly (up to rounding); the end segments take the chord as tangent.
    // Past the last key the last value holds; before the first the cubic goes on (1 and 2 are
    // the tangents of the first segment).
    auto s = load_text("0\n1\n4\n9\n16\n", 4);
    for (float t = 1.0f; t <= 3.0f; t += 0.125f) EXPECT_NEAR(eval1(*s, t), t * t, 1e-4) << t;
    // The Hermite weights at s = -1 are -4, -4, 5 and -2.
    EXPECT_EQ((std::vector<float>{eval1(*s, 0.5f), eval1(*s, 4), eval1(*s, 9), eval1(*s, -1)}),
              (std::vector<float>{0.375f, 16, 16, -3}));
}

TEST(SplineText, EditsRewriteOnlyTheNumbersThatMoveAndReadBackAsTheLoaderReadsThem) {
    using Edit = std::function<std::string(SplineText&)>;
    struct Case {
        std::string before;
        Edit edit;
        std::string after;  // "" when refused: the bytes stay
        std::string refusal = "";
    };
    const std::string commas = "; eye\r\n10, 5, 0\r\n\r\n{20 0 -5} tail\r\n";
    const std::string sixteen = "0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15\n";
    std::string full = "1.000000000000";
    for (int i = 1; i < 16; ++i) full += " 1.000000000000";
    full += std::string(254 - 1 - full.size(), ' ') + "\n";
    auto set = [](int key, int channel, float value) -> Edit {
        return [=](SplineText& s) { return spline_text_set(s, key, channel, value); };
    };
    auto bias = [](int channel, float by, int from, int to) -> Edit {
        return [=](SplineText& s) { return spline_text_bias(s, channel, by, from, to); };
    };
    auto insert = [](int at) -> Edit { return [=](SplineText& s) { return spline_text_insert(s, at); }; };
    auto erase = [](int key) -> Edit { return [=](SplineText& s) { return spline_text_delete(s, key); }; };
    const Case cases[] = {
        // Separators, comments, blank lines and CR LF kept; the shortest text of 0.1f is "0.1".
        {commas, set(1, 2, 0.1f), "; eye\r\n10, 5, 0\r\n\r\n{20 0 0.1} tail\r\n"},
        {commas, bias(0, -2.5f, 0, 1), "; eye\r\n7.5, 5, 0\r\n\r\n{17.5 0 -5} tail\r\n"},
        {commas, insert(2), "; eye\r\n10, 5, 0\r\n\r\n{20 0 -5} tail\r\n{20 0 -5} tail\r\n"},
        {commas, erase(0), "; eye\r\n\r\n{20 0 -5} tail\r\n"},
        // Inner segments of t^2 keys follow t^2: halfway between 1 and 4 lies 1.5^2.
        {"0\n1\n4\n9\n16\n", insert(2), "0\n1\n2.25\n4\n9\n16\n"},
        {"5", insert(1), "5\n5"},
        {"\xEF\xBB\xBF-1 2", insert(0), "\xEF\xBB\xBF-1 2\n-1 2"},
        {sixteen, set(0, 15, 0.25f), "0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 0.25\n"},
        // No exponent: the reader would stop at its 'e'.
        {"5\n", set(0, 0, 1e-7f), "0.0000001\n"},
        {"5\n", erase(0), "", "a spline keeps at least one key"},
        {"5\n", set(1, 0, 1), "", "key 1 out of range (1 keys)"},
        {"5\n", set(0, 1, 1), "", "channel 1 out of range (1 channels)"},
        {"5\n", set(0, 0, NAN), "", "the value is not a finite number"},
        {"3" + std::string(38, '0') + "\n", bias(0, 3e38f, 0, 0), "",
         "the value would not be a finite number"},
        {"5\n", insert(2), "", "position 2 out of range (0 to 1)"},
        // 16 numbers and blanks filling 254 bytes: a longer number would cut the line in two.
        {full, set(0, 0, 1e-30f), "", "a line would grow longer than 255 bytes"},
    };
    for (const Case& c : cases) {
        SplineText s;
        ASSERT_EQ(spline_text_parse(c.before, s), "") << c.before;
        const std::string why = c.edit(s);
        EXPECT_EQ(s.bytes, c.after.empty() ? c.before : c.after) << c.before;
        EXPECT_EQ(why, c.refusal) << c.before;
        if (!c.refusal.empty()) continue;
        // The player's reader takes the new bytes as the model holds them.
        auto loaded = load_text(s.bytes, 1);
        ASSERT_EQ(loaded->key_count, static_cast<int>(s.keys.size()));
        for (size_t k = 0; k < s.keys.size(); ++k)
            for (int i = 0; i < s.channels; ++i) EXPECT_EQ(loaded->keys[k].values[i], s.keys[k].values[i]);
    }
}

// Undo takes edits back newest first and redo makes the last one undone again; a new edit forgets
// what was undone. Past its byte budget the history forgets the oldest edits, but never the newest.
TEST(SplineText, HistoryUndoesNewestFirstAndForgetsTheOldestPastItsBudget) {
    SplineHistory history(6);  // the before and after bytes of three one-byte edits
    std::string bytes = "a";
    for (const char* next : {"b", "c", "d", "e"}) {
        history.push({"a.spl", bytes, next});
        bytes = next;
    }
    std::string undone;
    while (const SplineEdit* edit = history.undo()) undone += edit->before;
    EXPECT_EQ(undone, "dcb");
    for (const char* after : {"c", "d"}) {
        const SplineEdit* again = history.redo();
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(again->after, after);
    }
    history.push({"a.spl", "d", "x"});
    EXPECT_EQ(history.redo(), nullptr) << "a new edit forgets what was undone";
    SplineHistory small(1);
    small.push({"a.spl", "long", "longer"});
    EXPECT_NE(small.undo(), nullptr);
}
