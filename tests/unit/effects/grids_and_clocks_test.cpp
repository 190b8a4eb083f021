// The effects' pure logic: the deform and render-mesh grids, the radial blur's passes and the
// repeat's clock.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "effects/deform.h"
#include "effects/radial_blur.h"
#include "effects/render_mesh.h"
#include "effects/repeat.h"
#include "resources/spline.h"
#include "test_support.h"

namespace {

DeformGrid deform_grid(float n, int width, int height) {
    const float params[3] = {n, 8, 8};
    DeformGrid g;
    deform_grid_init(g, params, width, height, 0x1B02);
    return g;
}

const float* point(const std::vector<float>& v, int n, int i, int j) {
    return &v[(n * i + j) * 3];
}

RenderMesh mesh_at(int mode, float elapsed) {
    RenderMesh mesh;
    render_mesh_grid_update(mesh, mode, elapsed);
    return mesh;
}

// How far apart two grids lie at their furthest point.
double grid_distance(const RenderMesh& a, const RenderMesh& b) {
    double worst = 0;
    for (int k = 0; k < RENDER_MESH_POINTS * RENDER_MESH_POINTS; ++k)
        worst =
            std::max({worst, std::fabs(a.grid[k][0] - b.grid[k][0]), std::fabs(a.grid[k][1] - b.grid[k][1])});
    return worst;
}

struct Event {
    char kind;  // 'S' inner start, 'R' inner render
    float now;
    float inner_elapsed;
};

// Plays an outer repeat section from `start` to `end` in frames of `dt` seconds the way the
// sequencer does (elapsed kept by adding the frame step), logging what it asks of the inner one.
std::vector<Event> play(float start, float end, float period, float length, float lead, float dt) {
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
    while (now <= end) {
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
    for (const Event& e : log)
        if (e.kind == kind) out.push_back(e.now);
    return out;
}

}  // namespace

TEST(DeformGrid, RestPointsAreWholePixelsApartAndMovesAreFromRest) {
    // 800 div 6 = 133: the last column lies at 798, short of the edge; 600 div 6 = 100.
    DeformGrid g = deform_grid(7.9f, 800, 600);
    ASSERT_EQ(g.order, 7);
    ASSERT_EQ(g.rest.size(), 7u * 7u * 3u);
    for (int i = 0; i < 7; ++i)
        for (int j = 0; j < 7; ++j)
            EXPECT_EQ(std::vector<float>(point(g.rest, 7, i, j), point(g.rest, 7, i, j) + 3),
                      (std::vector<float>{i * 133.0f, j * 100.0f, 0}));
    EXPECT_EQ(g.current, g.rest);

    // Spline channels: column, row (truncated toward zero), then x, y, z offsets.
    DeformGrid h = deform_grid(4, 300, 300);
    const std::pair<std::pair<float, float>, int> picks[] = {
        {{1.9f, 2.2f}, 6}, {{-0.5f, 0}, 0}, {{3.99f, 3}, 15}, {{4, 0}, -1},
        {{0, -1}, -1},     {{NAN, 0}, -1},  {{1e20f, 1}, -1}};
    for (auto [at, index] : picks) EXPECT_EQ(deform_point_index(h, at.first, at.second), index) << at.first;
    const float move[5] = {1.9f, 2.2f, 5, -7, 2};
    ASSERT_TRUE(deform_grid_move(h, move));
    ASSERT_TRUE(deform_grid_move(h, move));  // not cumulative
    EXPECT_EQ(std::vector<float>(point(h.current, 4, 1, 2), point(h.current, 4, 1, 2) + 3),
              (std::vector<float>{105, 193, 2}));
    // Points outside the grid are ignored; moving another point leaves this one where it is.
    const std::vector<float> before = h.current;
    const float outside[5] = {4, 1, 50, 50, 50}, other[5] = {0, 0, 1, 1, 1};
    EXPECT_FALSE(deform_grid_move(h, outside));
    EXPECT_EQ(h.current, before);
    ASSERT_TRUE(deform_grid_move(h, other));
    EXPECT_EQ(point(h.current, 4, 1, 2)[0], 105);
}

// The order is held to what OpenGL evaluates and to the eight bits the grid keeps it in; the
// player's own limit never goes past 255, so only a unit can ask for more.
TEST(DeformGrid, OrderIsHeldToTheSmallerOfTheGlLimitAnd255) {
    const struct {
        float n;
        int gl_max;
        const char* message;
    } cases[] = {
        {2, 30, ""},
        {30.9f, 30, ""},
        {1.99f, 30, "2 to 30 control points needed in deform effect"},
        {31, 30, "2 to 30 control points needed in deform effect"},
        {NAN, 30, "2 to 30 control points needed in deform effect"},
        {256, 1000, "2 to 255 control points needed in deform effect"},
    };
    for (const auto& c : cases) {
        const float params[3] = {c.n, 8, 8};
        EXPECT_EQ(fatal_message_of([&] { deform_check_params(3, params, c.gl_max); }), c.message) << c.n;
    }
}

TEST(RadialBlur, ParamsRunFromStartToEndValuesAndWindowsShrinkTowardTheCentre) {
    // passes, then strength and step at the start and the end, then the centres at both ends.
    const float params[9] = {4, 0.1f, 0.02f, 0.9f, 0.06f, 0.25f, 0.75f, 0.5f, 0.0f};
    RadialBlur b = radial_blur_from_params(params);
    RadialBlurFrame f0 = radial_blur_frame(b, 0), f1 = radial_blur_frame(b, 1),
                    half = radial_blur_frame(b, 0.5f);
    EXPECT_EQ(std::vector<float>({f0.alpha, f0.step, f0.cx2, f0.cy2}),
              (std::vector<float>{0.1f, 0.02f, 0.5f, 1.5f}));
    EXPECT_EQ(std::vector<float>({f1.alpha, f1.step, f1.cx2, f1.cy2}),
              (std::vector<float>{0.9f, 0.06f, 1, 0}));
    EXPECT_FLOAT_EQ(half.alpha, 0.5f);
    EXPECT_FLOAT_EQ(radial_blur_frame(b, 1.5f).alpha, 1.3f);  // not clamped

    const struct {
        RadialBlurFrame frame;
        int pass;
        float left, bottom, right, top;
    } windows[] = {
        {{1, 0.05f, 1, 1}, 0, 0, 0, 1, 1},  // the first pass takes the whole frame
        {{1, 0.05f, 1, 1}, 1, 0.05f, 0.05f, 0.95f, 0.95f},
        {{1, 0.05f, 1, 1}, 2, 0.1f, 0.1f, 0.9f, 0.9f},
        {{1, 0.1f, 0, 0}, 2, 0, 0, 0.8f, 0.8f},  // centre (0, 0): left and bottom stay
        {{1, 0, 0.6f, 1.4f}, 2, 0, 0, 1, 1},     // step 0: every pass is the whole frame
    };
    for (const auto& w : windows) {
        RadialBlurWindow got = radial_blur_window(w.pass, w.frame);
        EXPECT_NEAR(got.left, w.left, 1e-6) << w.pass;
        EXPECT_NEAR(got.bottom, w.bottom, 1e-6) << w.pass;
        EXPECT_NEAR(got.right, w.right, 1e-6) << w.pass;
        EXPECT_NEAR(got.top, w.top, 1e-6) << w.pass;
    }
}

TEST(RadialBlur, EveryPassFixesTheSamePointWhichIsNotTheCentreInGeneral) {
    // A quad over the viewport shows texture x = left + x (right - left) at screen x: the point
    // that maps onto itself is 2 cx / (1 + 2 cx).
    for (float cx : {0.0f, 0.2f, 0.5f, 0.8f}) {
        RadialBlurFrame f{1.0f, 0.04f, 2 * cx, 2 * cx};
        const double expected = 2.0 * cx / (1.0 + 2.0 * cx);
        for (int pass = 1; pass <= 2; ++pass) {
            RadialBlurWindow w = radial_blur_window(pass, f);
            EXPECT_NEAR(w.left / (1.0 - (w.right - w.left)), expected, 1e-5) << cx;
            EXPECT_NEAR(w.bottom / (1.0 - (w.top - w.bottom)), expected, 1e-5) << cx;
        }
    }
}

TEST(RadialBlur, PassesRunWhileTheirIndexIsBelowTheCount) {
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, int> cases[] = {{0, 0},
                                           {-3, 0},
                                           {0.01f, 1},
                                           {1, 1},
                                           {2.5f, 3},
                                           {NAN, 0},
                                           {1e30f, RADIAL_BLUR_MAX_PASSES},
                                           {inf, RADIAL_BLUR_MAX_PASSES}};
    for (auto [passes, count] : cases) EXPECT_EQ(radial_blur_pass_count(passes), count) << passes;
}

// Modes 0 to 8 distort the grid; shimmer, wave, pulse and ripple move with the clock, the
// others stand still. Whatever the mode and the time, every coordinate is finite.
TEST(RenderMeshGrid, ModesDistortTheGridWithinTheirKind) {
    const RenderMesh rest = mesh_at(-1, 0);
    for (int i = 0; i < RENDER_MESH_POINTS; ++i)
        for (int j = 0; j < RENDER_MESH_POINTS; ++j) {
            EXPECT_DOUBLE_EQ(rest.grid[21 * i + j][0], i / 20.0);
            EXPECT_DOUBLE_EQ(rest.grid[21 * i + j][1], j / 20.0);
        }
    for (int mode : {9, 100}) EXPECT_EQ(grid_distance(mesh_at(mode, 1.25f), rest), 0) << mode;
    for (int mode = 0; mode <= 8; ++mode) {
        const bool moving = mode >= 5;
        EXPECT_GT(grid_distance(mesh_at(mode, 0.1f), rest), 1e-3) << mode;
        EXPECT_EQ(grid_distance(mesh_at(mode, 0.25f), mesh_at(mode, 1.3f)) > 1e-4, moving) << mode;
        for (float t : {0.0f, 0.25f, 0.5f, 1.0f, 7.77f}) {
            const RenderMesh m = mesh_at(mode, t);
            for (const auto& p : m.grid)
                ASSERT_TRUE(std::isfinite(p[0]) && std::isfinite(p[1])) << mode << " " << t;
        }
    }
}

TEST(RenderMeshGrid, EachModeKeepsItsShape) {
    const RenderMesh rest = mesh_at(-1, 0);
    // Shift moves every point by the same amount.
    const RenderMesh shift = mesh_at(0, 0);
    for (const auto& p : shift.grid) {
        EXPECT_NEAR(p[0] - (&p - shift.grid) / 21 / 20.0, shift.grid[0][0], 1e-12);
        EXPECT_NEAR(p[1] - (&p - shift.grid) % 21 / 20.0, shift.grid[0][1], 1e-12);
    }
    // Twirl turns each point about the middle: its distance from there stays.
    const RenderMesh twirl = mesh_at(4, 0);
    for (int k = 0; k < 21 * 21; ++k)
        EXPECT_NEAR(std::hypot(twirl.grid[k][0] - 0.5, twirl.grid[k][1] - 0.5),
                    std::hypot(rest.grid[k][0] - 0.5, rest.grid[k][1] - 0.5), 1e-12);
    // Pulse moves only t, once a second; where its logarithm has a pole the grid stays at rest.
    EXPECT_NEAR(grid_distance(mesh_at(7, 0.2f), mesh_at(7, 1.2f)), 0, 1e-6);
    EXPECT_EQ(grid_distance(mesh_at(7, 0.5f), rest), 0);
    const RenderMesh pulse = mesh_at(7, 0.2f);
    for (int k = 0; k < 21 * 21; ++k) EXPECT_EQ(pulse.grid[k][0], rest.grid[k][0]);
    // Wave repeats every two seconds.
    EXPECT_NEAR(grid_distance(mesh_at(6, 0.3f), mesh_at(6, 2.3f)), 0, 1e-6);
}

TEST(RepeatClock, LengthShorterThanThePeriodLeavesGaps) {
    // 1 s in every 2 s, from 1 s to 7 s, at four frames a second.
    std::vector<Event> log = play(1, 7, 2, 1, 0, 0.25f);
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

TEST(RepeatClock, LengthLongerThanThePeriodIsCutAndRestartsOnTheNextFrame) {
    std::vector<Event> log = play(1, 5, 1, 3, 0, 0.25f);
    // The first repetition runs 1 to 2; the frame at 2.25 ends it; the next begins at 2.5.
    std::vector<float> starts = times_of(log, 'S');
    ASSERT_GE(starts.size(), 3u);
    EXPECT_EQ(std::vector<float>(starts.begin(), starts.begin() + 3), (std::vector<float>{1, 2.5f, 3.5f}));
    float begun = 0;
    for (const Event& e : log) {
        if (e.kind == 'S') {
            begun = e.now;
            EXPECT_EQ(e.inner_elapsed, 0.0f);
        } else {
            EXPECT_LE(e.now - begun, 1.0f);
            EXPECT_NE(e.now, 2.25f);
        }
    }
}

TEST(RepeatClock, TheOffsetStartsEveryRepetitionLaterInTheInnerSection) {
    std::vector<Event> log = play(0, 4, 2, 1, 0.5f, 0.25f);
    for (const Event& e : log) EXPECT_FLOAT_EQ(e.inner_elapsed, 0.5f + std::fmod(e.now, 2.0f)) << e.now;
    EXPECT_EQ(times_of(log, 'S'), (std::vector<float>{0, 2, 4}));
}

TEST(RepeatClock, ZeroPeriodStartsEveryFrameAndDrawsOnlyTheFirst) {
    std::vector<Event> log = play(1, 3, 0, 1, 0, 0.25f);
    EXPECT_EQ(times_of(log, 'R'), (std::vector<float>{1}));
    // After the first repetition ends at 1.25, every later frame begins one.
    EXPECT_EQ(times_of(log, 'S'), (std::vector<float>{1, 1.5f, 1.75f, 2, 2.25f, 2.5f, 2.75f, 3}));
}

TEST(RepeatInner, TakesTheOuterFieldsLessWhatTheRepeatUses) {
    Section outer;
    outer.start = 3, outer.end = 9, outer.duration = 6, outer.layer = 7;
    outer.blend_on = outer.alpha_on = true;
    outer.sync_count = 2, outer.syncs[0] = 4, outer.syncs[1] = 5;
    const float params[5] = {2, 1.5f, 0.25f, 10, 11};
    outer.param_count = 5;
    std::copy(params, params + 5, outer.params);
    outer.string_count = 2, outer.strings[0] = "efxFader", outer.strings[1] = "data/a.tga";
    Spline spline;
    outer.spline_count = 1, outer.spline_names[0] = "data/a.spl", outer.splines[0] = &spline;
    outer.spline_durations[0] = 6;

    const int type = repeat_inner_type(outer);
    EXPECT_EQ(type, section_type_find("efxFader"));
    Section inner;
    repeat_fill_inner(inner, outer, type);
    EXPECT_EQ(inner.type, type);
    EXPECT_EQ(std::vector<float>({inner.start, inner.duration, inner.end, inner.elapsed}),
              (std::vector<float>{3, 1.5f, 4.5f, 0.25f}));
    EXPECT_EQ(inner.layer, 7);
    EXPECT_FALSE(inner.blend_on || inner.alpha_on);
    EXPECT_EQ(std::vector<float>(inner.syncs, inner.syncs + inner.sync_count), (std::vector<float>{4, 5}));
    EXPECT_EQ(std::vector<float>(inner.params, inner.params + 3), (std::vector<float>{10, 11, 0}));
    EXPECT_EQ(inner.param_count, 2);
    ASSERT_EQ(inner.string_count, 1);
    EXPECT_EQ(inner.strings[0], "data/a.tga");
    ASSERT_EQ(inner.spline_count, 1);
    EXPECT_EQ(inner.splines[0], &spline);
    EXPECT_EQ(inner.spline_names[0], "data/a.spl");
    EXPECT_EQ(inner.spline_durations[0], 6.0f);
    EXPECT_EQ(inner.data, nullptr);
}
