#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "effects/repeat.h"
#include "resources/spline.h"
#include "test_support.h"

namespace {

struct Event {
    char kind;  // 'S' inner start, 'R' inner render
    float now;
    float inner_elapsed;
};

// Plays an outer section from `start` to `end` in frames of `dt` seconds, the way the sequencer
// does (elapsed kept by adding the frame step), and logs what the repeat asks of the inner type.
std::vector<Event> play(float start, float end, float period, float length, float lead, float dt,
                        float until) {
    Section outer;
    outer.start = start;
    outer.end = end;
    outer.duration = end - start;
    outer.param_count = 3;
    outer.params[0] = period;
    outer.params[1] = length;
    outer.params[2] = lead;
    Repeat r;
    r.inner = std::make_unique<Section>();
    repeat_fill_inner(*r.inner, outer, 0);

    std::vector<Event> log;
    bool started = false;
    float now = 0, delta = 0;
    while (now <= until) {
        if (!started && outer.start <= now) {
            outer.elapsed = now - outer.start - delta;
            repeat_rewind(r, outer);
            started = true;
        }
        if (started && outer.end >= now) {
            outer.elapsed += delta;
            if (repeat_begin(r, outer, now)) log.push_back({'S', now, r.inner->elapsed});
            if (repeat_continue(r, outer, now)) log.push_back({'R', now, r.inner->elapsed});
        }
        delta = dt;
        now += dt;
    }
    return log;
}

std::vector<float> times_of(const std::vector<Event>& log, char kind) {
    std::vector<float> out;
    for (const Event& e : log) {
        if (e.kind == kind) out.push_back(e.now);
    }
    return out;
}

}  // namespace

TEST(RepeatClock, LengthShorterThanPeriodLeavesGaps) {
    // Fade for 1 s in every 2 s, from 1 s to 7 s, at four frames a second.
    std::vector<Event> log = play(1, 7, 2, 1, 0, 0.25f, 7);
    EXPECT_EQ(times_of(log, 'S'), (std::vector<float>{1, 3, 5, 7}));
    for (const Event& e : log) {
        const float into = std::fmod(e.now - 1.0f, 2.0f);
        if (e.kind == 'R') {
            EXPECT_LE(into, 1.0f) << "drawn in a gap at " << e.now;
            EXPECT_FLOAT_EQ(e.inner_elapsed, into) << e.now;
        }
    }
    // Every frame of each repetition is drawn, the last one at exactly its end.
    EXPECT_EQ(times_of(log, 'R').size(), 3u * 5u + 1u);
}

TEST(RepeatClock, LengthLongerThanPeriodIsCutAndRestartsOnTheNextFrame) {
    std::vector<Event> log = play(1, 5, 1, 3, 0, 0.25f, 5);
    // The first repetition runs 1 to 2; the frame at 2.25 ends it; the next begins at 2.5.
    std::vector<float> starts = times_of(log, 'S');
    ASSERT_GE(starts.size(), 3u);
    EXPECT_EQ(starts[0], 1.0f);
    EXPECT_EQ(starts[1], 2.5f);
    EXPECT_EQ(starts[2], 3.5f);
    for (const Event& e : log) {
        if (e.kind == 'S') {
            EXPECT_EQ(e.inner_elapsed, 0.0f);
        }
    }
    // No repetition is drawn for longer than the period.
    float begun = 0;
    for (const Event& e : log) {
        if (e.kind == 'S') begun = e.now;
        if (e.kind == 'R') {
            EXPECT_LE(e.now - begun, 1.0f);
        }
    }
    const std::vector<float> renders = times_of(log, 'R');
    EXPECT_EQ(std::count(renders.begin(), renders.end(), 2.25f), 0);
}

TEST(RepeatClock, OffsetStartsEveryRepetitionLaterInTheInnerEffect) {
    std::vector<Event> log = play(0, 4, 2, 1, 0.5f, 0.25f, 4);
    for (const Event& e : log) {
        const float into = std::fmod(e.now, 2.0f);
        EXPECT_FLOAT_EQ(e.inner_elapsed, 0.5f + into) << e.kind << " at " << e.now;
    }
    EXPECT_EQ(times_of(log, 'S'), (std::vector<float>{0, 2, 4}));
}

TEST(RepeatClock, ZeroPeriodStartsEveryFrameAndDrawsNothing) {
    std::vector<Event> log = play(1, 3, 0, 1, 0, 0.25f, 3);
    const std::vector<float> renders = times_of(log, 'R');
    // Only the very first frame, whose clock equals the inner start, draws.
    EXPECT_EQ(renders, (std::vector<float>{1}));
    const std::vector<float> starts = times_of(log, 'S');
    // After the first repetition ends at 1.25, every later frame begins one.
    EXPECT_EQ(starts.front(), 1.0f);
    EXPECT_EQ(starts.size(), 1u + 7u);
    EXPECT_EQ(starts[1], 1.5f);
}

TEST(RepeatInner, BuiltFromTheOuterFieldsLessWhatTheRepeatUses) {
    Section outer;
    outer.start = 3;
    outer.end = 9;
    outer.duration = 6;
    outer.layer = 7;
    outer.blend_on = true;
    outer.alpha_on = true;
    outer.sync_count = 2;
    outer.syncs[0] = 4;
    outer.syncs[1] = 5;
    outer.param_count = 5;
    const float params[5] = {2, 1.5f, 0.25f, 10, 11};
    std::copy(params, params + 5, outer.params);
    outer.string_count = 2;
    outer.strings[0] = "efxFader";
    outer.strings[1] = "data/a.tga";
    Spline spline;
    outer.spline_count = 1;
    outer.spline_names[0] = "data/a.spl";
    outer.splines[0] = &spline;
    outer.spline_durations[0] = 6;

    const int type = repeat_inner_type(outer);
    EXPECT_EQ(type, section_type_find("efxFader"));
    Section inner;
    repeat_fill_inner(inner, outer, type);
    EXPECT_EQ(inner.type, type);
    EXPECT_EQ(inner.start, 3.0f);
    EXPECT_EQ(inner.duration, 1.5f);
    EXPECT_EQ(inner.end, 4.5f);
    EXPECT_EQ(inner.layer, 7);
    EXPECT_EQ(inner.elapsed, 0.25f);
    EXPECT_FALSE(inner.blend_on);
    EXPECT_FALSE(inner.alpha_on);
    ASSERT_EQ(inner.sync_count, 2);
    EXPECT_EQ(inner.syncs[1], 5.0f);
    ASSERT_EQ(inner.param_count, 2);
    EXPECT_EQ(inner.params[0], 10.0f);
    EXPECT_EQ(inner.params[1], 11.0f);
    EXPECT_EQ(inner.params[2], 0.0f);
    ASSERT_EQ(inner.string_count, 1);
    EXPECT_EQ(inner.strings[0], "data/a.tga");
    ASSERT_EQ(inner.spline_count, 1);
    EXPECT_EQ(inner.splines[0], &spline);
    EXPECT_EQ(inner.spline_names[0], "data/a.spl");
    EXPECT_EQ(inner.spline_durations[0], 6.0f);
    EXPECT_EQ(inner.data, nullptr);

    // Exactly three params and one string leave the inner section with none.
    outer.param_count = 3;
    outer.string_count = 1;
    Section bare;
    repeat_fill_inner(bare, outer, type);
    EXPECT_EQ(bare.param_count, 0);
    EXPECT_EQ(bare.string_count, 0);
}

// Names are matched whole: no trimming, and a repeat may hold a repeat.
TEST(RepeatInner, InnerNamesMatchExactly) {
    Section outer;
    outer.param_count = 3;
    outer.string_count = 1;
    outer.strings[0] = "efxFader ";
    EXPECT_EQ(fatal_message_of([&] { repeat_inner_type(outer); }),
              "Script: unknown section 'efxFader ' in repeat");
    outer.strings[0] = "efxRepeat";
    EXPECT_EQ(repeat_inner_type(outer), section_type_find("efxRepeat"));
}
