// The effects' pure logic: the deform and render-mesh grids, the radial blur's passes and the
// repeat's clock.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "effects/deform.h"
#include "runtime/registry.h"
#include "effects/radial_blur.h"
#include "effects/render_mesh.h"
#include "effects/repeat.h"
#include "resources/spline.h"
#include "test_support.h"

namespace {

using Floats = std::vector<float>;

DeformGrid deform_grid(float n, int width, int height) {
    const float params[3] = {n, 8, 8};
    DeformGrid g;
    deform_grid_init(g, params, width, height, 0x1B02);
    return g;
}

Floats point(const std::vector<float>& v, int n, int i, int j) {
    return Floats(&v[(n * i + j) * 3], &v[(n * i + j) * 3] + 3);
}

RenderMesh mesh_at(int mode, float elapsed) {
    RenderMesh mesh;
    render_mesh_grid_update(mesh, mode, elapsed);
    return mesh;
}

double grid_distance(const RenderMesh& a, const RenderMesh& b) {  // at the furthest point
    double worst = 0;
    for (int k = 0; k < RENDER_MESH_POINTS * RENDER_MESH_POINTS; ++k)
        for (int c = 0; c < 2; ++c) worst = std::max(worst, std::fabs(a.grid[k][c] - b.grid[k][c]));
    return worst;
}

// Plays a repeat from `start` to `end` in frames of `dt` seconds the way the sequencer does
// (elapsed kept by adding the frame step). Returns the frames that start the inner section and
// those that draw it, each draw with the inner section's elapsed time.
struct Played {
    Floats starts, draws, inner_elapsed;
};
Played play(float start, float end, float period, float length, float lead, float dt) {
    Section outer;
    outer.start = start, outer.end = end, outer.duration = end - start, outer.param_count = 3;
    outer.params[0] = period, outer.params[1] = length, outer.params[2] = lead;
    Repeat r;
    r.inner = std::make_unique<Section>();
    repeat_fill_inner(*r.inner, outer, 0);
    Played log;
    outer.elapsed = -dt;
    repeat_rewind(r, outer);
    for (float now = start; now <= end; now += dt) {
        outer.elapsed += dt;
        if (repeat_begin(r, outer, now)) log.starts.push_back(now);
        if (repeat_continue(r, outer, now)) {
            log.draws.push_back(now);
            log.inner_elapsed.push_back(r.inner->elapsed);
        }
    }
    return log;
}

}  // namespace

TEST(DeformGrid, RestPointsAreWholePixelsApartMovesAreFromRestAndTheOrderIsHeld) {
    // 800 div 6 = 133: the last column lies at 798, short of the edge; 600 div 6 = 100.
    DeformGrid g = deform_grid(7.9f, 800, 600);
    ASSERT_EQ(g.order, 7);
    ASSERT_EQ(g.rest.size(), 7u * 7u * 3u);
    for (int i = 0; i < 7; ++i)
        for (int j = 0; j < 7; ++j) EXPECT_EQ(point(g.rest, 7, i, j), (Floats{i * 133.0f, j * 100.0f, 0}));
    EXPECT_EQ(g.current, g.rest);

    // Spline channels: column, row (truncated toward zero), then x, y, z offsets.
    DeformGrid h = deform_grid(4, 300, 300);
    const std::pair<Floats, int> picks[] = {{{1.9f, 2.2f}, 6}, {{-0.5f, 0}, 0}, {{3.99f, 3}, 15},
                                            {{4, 0}, -1},      {{0, -1}, -1},   {{NAN, 0}, -1},
                                            {{1e20f, 1}, -1}};
    for (const auto& [at, index] : picks) EXPECT_EQ(deform_point_index(h, at[0], at[1]), index) << at[0];
    const float move[5] = {1.9f, 2.2f, 5, -7, 2}, outside[5] = {4, 1, 50, 50, 50}, other[5] = {0, 0, 1, 1, 1};
    ASSERT_TRUE(deform_grid_move(h, move));
    ASSERT_TRUE(deform_grid_move(h, move));  // not cumulative
    EXPECT_FALSE(deform_grid_move(h, outside));
    ASSERT_TRUE(deform_grid_move(h, other));  // leaves the point moved before where it is
    EXPECT_EQ(point(h.current, 4, 1, 2), (Floats{105, 193, 2}));
    EXPECT_EQ(point(h.current, 4, 0, 0), (Floats{1, 1, 1}));
    // The order is held to what OpenGL evaluates and to the eight bits the grid keeps it in; the
    // player's own limit never goes past 255, so only a unit can ask for more (or for NaN).
    for (auto [n, gl_max, top] :
         {std::tuple{30.9f, 30, ""}, {31.0f, 30, "30"}, {NAN, 30, "30"}, {256.0f, 1000, "255"}}) {
        const float params[3] = {n, 8, 8};
        EXPECT_EQ(fatal_message_of([&] { deform_check_params(3, params, gl_max); }),
                  *top ? "2 to " + std::string(top) + " control points needed in deform effect" : "")
            << n;
    }
}

TEST(RadialBlur, ParamsRunFromStartToEndValuesAndWindowsShrinkTowardTheCentre) {
    // passes, then strength and step at the start and the end, then the centres at both ends.
    const float params[9] = {4, 0.1f, 0.02f, 0.9f, 0.06f, 0.25f, 0.75f, 0.5f, 0.0f};
    RadialBlur b = radial_blur_from_params(params);
    auto frame = [&](float t) {
        RadialBlurFrame f = radial_blur_frame(b, t);
        return Floats{f.alpha, f.step, f.cx2, f.cy2};
    };
    EXPECT_EQ(frame(0), (Floats{0.1f, 0.02f, 0.5f, 1.5f}));
    EXPECT_EQ(frame(1), (Floats{0.9f, 0.06f, 1, 0}));
    EXPECT_FLOAT_EQ(frame(1.5f)[0], 1.3f);  // not clamped

    const std::tuple<RadialBlurFrame, int, Floats> windows[] = {
        {{1, 0.05f, 1, 1}, 0, {0, 0, 1, 1}},  // the first pass takes the whole frame
        {{1, 0.05f, 1, 1}, 2, {0.1f, 0.1f, 0.9f, 0.9f}},
        {{1, 0.1f, 0, 0}, 2, {0, 0, 0.8f, 0.8f}},  // centre (0, 0): left and bottom stay
    };
    for (const auto& [f, pass, expected] : windows) {
        RadialBlurWindow w = radial_blur_window(pass, f);
        const Floats got = {w.left, w.bottom, w.right, w.top};
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(got[k], expected[k], 1e-6) << pass << " " << k;
    }
    // Passes run while their index is below the count, and a frame always ends.
    const std::pair<float, int> counts[] = {{-3, 0},   {0.01f, 1}, {1, 1},
                                            {2.5f, 3}, {NAN, 0},   {INFINITY, RADIAL_BLUR_MAX_PASSES}};
    for (auto [n, count] : counts) EXPECT_EQ(radial_blur_pass_count(n), count) << n;
}

// Modes 0 to 8 distort the grid; shimmer, wave, pulse and ripple (5 to 8) move with the clock,
// the others stand still; other modes leave it at rest. Every coordinate is always finite.
TEST(RenderMeshGrid, ModesDistortTheGridWithinTheirKind) {
    const RenderMesh rest = mesh_at(-1, 0);
    EXPECT_EQ(grid_distance(mesh_at(9, 1.25f), rest), 0);
    for (int mode = 0; mode <= 8; ++mode) {
        EXPECT_GT(grid_distance(mesh_at(mode, 0.1f), rest), 1e-3) << mode;
        EXPECT_EQ(grid_distance(mesh_at(mode, 0.25f), mesh_at(mode, 1.3f)) > 1e-4, mode >= 5) << mode;
        for (float t : {0.0f, 0.25f, 0.5f, 1.0f, 7.77f})
            for (const auto& p : mesh_at(mode, t).grid)
                ASSERT_TRUE(std::isfinite(p[0] + p[1])) << mode << " " << t;
    }
    // At rest the grid is even; shift moves every point alike; twirl turns each about the middle,
    // keeping its distance; pulse moves only t.
    const RenderMesh shift = mesh_at(0, 0), twirl = mesh_at(4, 0), pulse = mesh_at(7, 0.2f);
    for (int k = 0; k < 21 * 21; ++k) {
        EXPECT_EQ(Floats(rest.grid[k], rest.grid[k] + 2), (Floats{k / 21 / 20.0f, k % 21 / 20.0f}));
        EXPECT_EQ(pulse.grid[k][0], rest.grid[k][0]);
        for (int c = 0; c < 2; ++c) EXPECT_NEAR(shift.grid[k][c] - rest.grid[k][c], shift.grid[0][c], 1e-12);
        EXPECT_NEAR(std::hypot(twirl.grid[k][0] - 0.5, twirl.grid[k][1] - 0.5),
                    std::hypot(rest.grid[k][0] - 0.5, rest.grid[k][1] - 0.5), 1e-12);
    }
    // Pulse repeats once a second and rests where its logarithm has a pole; wave every two seconds.
    EXPECT_NEAR(grid_distance(mesh_at(7, 0.2f), mesh_at(7, 1.2f)), 0, 1e-6);
    EXPECT_EQ(grid_distance(mesh_at(7, 0.5f), rest), 0);
    EXPECT_NEAR(grid_distance(mesh_at(6, 0.3f), mesh_at(6, 2.3f)), 0, 1e-6);
}

TEST(RepeatClock, RepetitionsStartEveryPeriodDrawForTheirLengthAndAreCutByTheNext) {
    // 1 s in every 2 s, from 1 s to 7 s, at four frames a second: a gap after each, and every
    // frame of a repetition drawn, the last at exactly its end.
    Played gaps = play(1, 7, 2, 1, 0, 0.25f);
    EXPECT_EQ(gaps.starts, (Floats{1, 3, 5, 7}));
    ASSERT_EQ(gaps.draws.size(), 3u * 5u + 1u);
    for (size_t k = 0; k < gaps.draws.size(); ++k)
        EXPECT_FLOAT_EQ(gaps.inner_elapsed[k], k % 5 * 0.25f) << gaps.draws[k];
    // An offset starts every repetition later in the inner section.
    Played lead = play(0, 4, 2, 1, 0.5f, 0.25f);
    EXPECT_EQ(lead.starts, (Floats{0, 2, 4}));
    for (size_t k = 0; k < lead.draws.size(); ++k)
        EXPECT_FLOAT_EQ(lead.inner_elapsed[k], 0.5f + std::fmod(lead.draws[k], 2.0f)) << lead.draws[k];
    // Repetitions longer than the period are cut and restart on the next frame. Periods turn at 1, 2, 3 and
    // 4: the first frame past each turn cuts the running repetition (2.25, 3.25, 4.25) and the frame after it
    // begins the next.
    Played cut = play(1, 5, 1, 3, 0, 0.25f);
    EXPECT_EQ(cut.starts, (Floats{1, 2.5f, 3.5f, 4.5f}));
    EXPECT_EQ(cut.draws, (Floats{1, 1.25f, 1.5f, 1.75f, 2, 2.5f, 2.75f, 3, 3.5f, 3.75f, 4, 4.5f, 4.75f, 5}));
    // A zero period draws the first frame only; after it every frame begins a repetition.
    Played zero = play(1, 3, 0, 1, 0, 0.25f);
    EXPECT_EQ(zero.draws, (Floats{1}));
    EXPECT_EQ(zero.starts, (Floats{1, 1.5f, 1.75f, 2, 2.25f, 2.5f, 2.75f, 3}));
}

// The inner section plays for the repetition's length from the offset, with the parameters and
// strings after the repeat's own, and never blends by itself.
TEST(RepeatInner, TakesTheOuterFieldsLessWhatTheRepeatUses) {
    Section outer, inner;
    outer.start = 3, outer.end = 9, outer.duration = 6, outer.layer = 7;
    outer.blend_on = outer.alpha_on = true;
    outer.param_count = 5, outer.params[0] = 2, outer.params[1] = 1.5f, outer.params[2] = 0.25f;
    outer.params[3] = 10, outer.params[4] = 11;
    outer.string_count = 2, outer.strings[0] = "efxFader", outer.strings[1] = "data/a.tga";
    Spline spline;
    outer.spline_count = 1, outer.splines[0] = &spline;
    const int type = repeat_inner_type(outer, section_types);
    EXPECT_EQ(type, section_types.find("efxFader"));
    repeat_fill_inner(inner, outer, type);
    EXPECT_EQ(
        (Floats{inner.start, inner.duration, inner.end, inner.elapsed, float(inner.layer), inner.params[0],
                inner.params[1], float(inner.param_count + inner.blend_on + inner.alpha_on)}),
        (Floats{3, 1.5f, 4.5f, 0.25f, 7, 10, 11, 2}));
    EXPECT_TRUE(inner.string_count == 1 && inner.strings[0] == "data/a.tga");
    EXPECT_TRUE(inner.spline_count == 1 && inner.splines[0] == &spline && inner.type == type);
}
