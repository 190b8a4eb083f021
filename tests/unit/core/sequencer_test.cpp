// The sequencer run against a table of recording section types and recording frame steps, so
// that every callback shows up in a log instead of on a screen.
#include "core/sequencer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "core/config.h"
#include "core/random.h"
#include "gfx/view.h"
#include "resources/spline.h"
#include "script/section.h"
#include "test_support.h"

namespace {

std::vector<std::string> events;

std::string label() {
    return current_section->strings[0];
}

template <int Row>
void log_prepare() {
    events.push_back("prepare " + std::to_string(Row) + " with " + label());
}
void log_init() {
    events.push_back("init " + label());
}
void log_start() {
    events.push_back("start " + label());
}
void log_render() {
    events.push_back("render " + label());
}
void log_stop() {
    events.push_back("stop " + label());
}
void log_progress() {
    events.push_back("progress " + std::to_string(load_step_count) + "/" +
                     std::to_string(load_type_count + load_section_count));
}

template <size_t... Rows>
std::vector<SectionType> make_rows(std::index_sequence<Rows...>) {
    return {SectionType{"fake", log_prepare<static_cast<int>(Rows)>, log_init, log_start, log_render,
                        log_stop}...};
}

std::vector<SectionType> fake_rows = [] {
    auto rows = make_rows(std::make_index_sequence<SECTION_TYPE_COUNT>());
    rows[0].render = log_progress;  // the loading type draws progress after every step
    return rows;
}();
std::vector<const SectionType*> fake_table = [] {
    std::vector<const SectionType*> t;
    for (const SectionType& row : fake_rows) t.push_back(&row);
    return t;
}();

void step(const char* name) {
    events.push_back(name);
}

class Sequencer : public ::testing::Test {
  protected:
    void SetUp() override {
        config_reset_defaults();
        sequencer_types = fake_table.data();
        frame_output = {[] { step("begin"); }, [] { step("capture"); }, [] { step("present"); },
                        [] { step("fps"); },   [] { step("timing"); },  [] { step("swap"); }};
        record = 1;
        record_fps = 25.0f;
        events.clear();
    }
    void TearDown() override {
        sequencer_types = section_types;
        frame_output = frame_output_default();
        config_reset_defaults();
        clock_reset();
    }

    // Sections are offered like the parser makes them: each new one goes to the head of the list.
    Section* add(int type, const std::string& name, float start, float end, int layer = 0) {
        Section* s = section_new();
        s->type = type;
        s->strings[0] = name;
        s->string_count = 1;
        s->start = start;
        s->end = end;
        s->duration = end - start;
        s->layer = layer;
        return s;
    }

    void load() {
        clock_reset();
        load_phase();
        clock_sync();
        events.clear();
    }

    // One frame and one clock step, returning what the frame logged.
    std::vector<std::string> frame() {
        events.clear();
        idle_step();
        return events;
    }

    static std::vector<std::string> pending_names() {
        std::vector<std::string> names;
        for (Section* s = pending_list; s != nullptr; s = s->pending_next) {
            if (s->pending_next != nullptr) {
                EXPECT_EQ(s->pending_next->pending_prev, s);
            }
            names.push_back(s->strings[0]);
        }
        return names;
    }
};

using Log = std::vector<std::string>;

}  // namespace

TEST_F(Sequencer, KeepRuleFollowsDemoStartAndEnd) {
    Section* a = add(10, "a", 10, 40);
    Section* b = add(10, "b", 10, 30);
    Section* c = add(10, "c", 60, 70);
    EXPECT_TRUE(section_keep(a) && section_keep(b) && section_keep(c));
    demo_start = 30;
    EXPECT_TRUE(section_keep(a));
    EXPECT_FALSE(section_keep(b));
    demo_start = 0;
    demo_end = 60;
    EXPECT_FALSE(section_keep(c));
    EXPECT_TRUE(section_keep(b));
    demo_end = -1;
    EXPECT_FALSE(section_keep(a) || section_keep(b) || section_keep(c));
}

TEST_F(Sequencer, PendingListIsByStartThenOrderOfParsing) {
    add(10, "A", 2, 5);
    add(10, "B", 1, 5);
    add(10, "C", 2, 5);
    add(10, "D", 0, 5);
    add(10, "E", 1, 5);
    sequence_build();
    EXPECT_EQ(pending_names(), (Log{"D", "B", "E", "A", "C"}));
    EXPECT_EQ(pending_list->pending_prev, nullptr);
}

TEST_F(Sequencer, LoadPhaseOrderAndProgress) {
    add(0, "L", 0, 0);  // not kept: its span ends at demo_start
    add(14, "img", 1, 2);
    add(10, "bg1", 0, 3);
    add(10, "bg2", 0, 1);
    add(5, "unused", 4, 5);
    demo_end = 4;  // drops "unused": its type is never prepared
    clock_reset();
    load_phase();
    EXPECT_EQ(events, (Log{"prepare 0 with L", "init L", "start L",
                           // types in row order, each followed by a loading frame
                           "prepare 10 with L", "progress 1/5", "prepare 14 with L", "progress 2/5",
                           // sections in pending order
                           "init bg1", "progress 3/5", "init bg2", "progress 4/5", "init img", "progress 5/5",
                           "stop L"}));
    EXPECT_EQ(current_section->strings[0], "L");
    EXPECT_FLOAT_EQ(load_progress(), 1.0f);
}

TEST_F(Sequencer, KeptLoadingSectionIsInitialisedAgainAndStopsShortOfFullProgress) {
    add(0, "L", 0, 1);
    add(10, "bg", 0, 1);
    clock_reset();
    load_phase();
    // T = 2 (loading and background), S = 2; row 0 is never prepared in the loop.
    EXPECT_EQ(events, (Log{"prepare 0 with L", "init L", "start L", "prepare 10 with L", "progress 1/4",
                           "init L", "progress 2/4", "init bg", "progress 3/4", "stop L"}));
}

TEST_F(Sequencer, LoadPhaseNeedsALoadingSection) {
    add(10, "bg", 0, 1);
    clock_reset();
    EXPECT_EQ(fatal_message_of([] { load_phase(); }), "Loading section not found");
}

TEST_F(Sequencer, LoadPhaseLoadsAndTimesTheSplinesOfKeptSections) {
    TempDir dir;
    write_file(dir.file("three.txt"), "; x\n0\n10\n20\n");
    write_file(dir.file("one.txt"), "5 6\n");
    add(0, "L", 0, 0);
    Section* s = add(10, "bg", 0, 4);
    s->spline_names[0] = dir.file("three.txt");
    s->spline_durations[0] = 2;
    s->spline_names[1] = dir.file("one.txt");
    s->spline_durations[1] = 4;
    s->spline_count = 2;
    Section* dropped = add(10, "late", 10, 11);
    dropped->spline_names[0] = dir.file("missing.txt");
    dropped->spline_count = 1;
    demo_end = 5;
    load();

    ASSERT_NE(s->splines[0], nullptr);
    ASSERT_EQ(s->splines[0]->key_count, 3);
    EXPECT_FLOAT_EQ(s->splines[0]->duration, 2);
    EXPECT_FLOAT_EQ(s->splines[0]->keys[1].time, 1);
    EXPECT_FLOAT_EQ(s->splines[0]->keys[2].time, 2);
    // A single key cannot be spread: it sits at the start instead of at 0 x (4 / 0).
    ASSERT_NE(s->splines[1], nullptr);
    ASSERT_EQ(s->splines[1]->key_count, 1);
    EXPECT_EQ(s->splines[1]->keys[0].time, 0.0f);
    EXPECT_EQ(dropped->splines[0], nullptr);
}

TEST_F(Sequencer, FramesRenderInLayerOrderAndEqualLayersLastStartedFirst) {
    add(0, "L", 0, 0);
    add(10, "X", 0, 1, 3);
    add(10, "Y", 0, 1, 3);
    add(10, "Z", 0, 1, 1);
    add(10, "W", 0.04f, 1, 3);
    load();
    EXPECT_EQ(frame(), (Log{"start X", "start Y", "start Z", "begin", "render Z", "render Y", "render X",
                            "capture", "present", "swap"}));
    // W starts later on layer 3, so it goes beneath X and Y.
    EXPECT_EQ(frame(), (Log{"start W", "begin", "render Z", "render W", "render Y", "render X", "capture",
                            "present", "swap"}));
}

TEST_F(Sequencer, ClockStepsByTheRecordingRateAndSectionsRenderWithinTheirSpan) {
    add(0, "L", 0, 0);
    Section* a = add(10, "A", 0, 0.1f);
    add(10, "B", 0.05f, 0.07f);  // falls between the frames at 0.04 and 0.08
    load();

    std::vector<Log> frames;
    std::vector<float> times;
    float expected_time = 0;
    while (!quit_flag) {
        EXPECT_EQ(demo_time, expected_time);
        times.push_back(demo_time);
        frames.push_back(frame());
        expected_time += 1.0f / 25.0f;
        if (a->active_next == nullptr && a->active_prev == nullptr && active_list == a) {
            EXPECT_FLOAT_EQ(a->elapsed, times.back() - a->start);
        }
        ASSERT_LT(frames.size(), 10u);
    }
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[2], (Log{"start B", "begin", "stop B", "render A", "capture", "present", "swap"}));
    // The frame at 0.12 is past A's end: stopped, not rendered; then nothing is left.
    EXPECT_EQ(frames[3], (Log{"begin", "stop A", "capture", "present", "swap"}));
    EXPECT_EQ(frame_count, 4);
}

TEST_F(Sequencer, DemoStartRetimesTheFirstFrame) {
    add(0, "L", 0, 0);
    Section* kept = add(10, "kept", 10, 40);
    add(10, "dropped", 10, 30);
    demo_start = 30;
    load();
    EXPECT_EQ(demo_time, 30.0f);
    EXPECT_EQ(frame(), (Log{"start kept", "begin", "render kept", "capture", "present", "swap"}));
    EXPECT_FLOAT_EQ(kept->elapsed, 20.0f);
}

TEST_F(Sequencer, DemoEndStopsAfterTheFirstFramePastIt) {
    add(0, "L", 0, 0);
    add(10, "long", 0, 100);
    add(10, "late", 60, 70);
    demo_start = 59.9f;
    demo_end = 60;
    load();
    std::vector<float> times;
    while (!quit_flag && times.size() < 20) {
        times.push_back(demo_time);
        Log log = frame();
        EXPECT_EQ(std::count(log.begin(), log.end(), "start late"), 0);
    }
    ASSERT_GE(times.size(), 2u);
    EXPECT_GT(times.back(), 60.0f);
    EXPECT_LE(times[times.size() - 2], 60.0f);
    EXPECT_NE(active_list, nullptr);
}

TEST_F(Sequencer, NegativeDemoEndDropsEverythingAndStopsAfterOneFrame) {
    add(0, "L", 0, 0);
    add(10, "a", 0, 1);
    demo_end = -1;
    load();
    EXPECT_EQ(pending_list, nullptr);
    EXPECT_EQ(frame(), (Log{"begin", "capture", "present", "swap"}));
    EXPECT_TRUE(quit_flag);
}

TEST_F(Sequencer, OverlayStepFollowsTheFlagsAndCaptureOnlyWhenRecording) {
    add(0, "L", 0, 0);
    add(10, "a", 0, 100);
    load();
    record = 0;
    fps = 1;
    timing = 1;
    events.clear();
    frame_run();
    EXPECT_EQ(events, (Log{"start a", "begin", "render a", "present", "fps", "swap"}));
    fps = 0;
    events.clear();
    frame_run();
    EXPECT_EQ(events, (Log{"begin", "render a", "present", "timing", "swap"}));
}

TEST_F(Sequencer, FrameClearsTheCurrentCamera) {
    add(0, "L", 0, 0);
    add(10, "a", 0, 1);
    load();
    Camera* camera = camera_new();
    current_camera = camera;
    frame_output.begin = [] { EXPECT_NE(current_camera, nullptr); };
    frame_run();
    EXPECT_EQ(current_camera, nullptr);
}

TEST_F(Sequencer, LoopingReplaysTheSamePass) {
    add(0, "L", 0, 0);
    add(10, "a", 0, 0.05f);
    add(10, "b", 0.04f, 0.1f, 2);
    loop = 1;
    load();
    // The sections would draw their random numbers while rendering; the present step stands in.
    frame_output.present = [] { events.push_back("random " + std::to_string(random_next())); };
    auto pass = [&] {
        Log log;
        do {
            int frame_number = frame_count;
            for (const std::string& e : frame()) log.push_back(std::to_string(frame_number) + " " + e);
        } while (frame_count != 0);  // the restart sets the count back to 0
        return log;
    };
    Log first = pass();
    EXPECT_FALSE(quit_flag);
    EXPECT_EQ(demo_time, demo_start);
    Log second = pass();
    EXPECT_EQ(first, second);
    EXPECT_NE(std::find(second.begin(), second.end(), "0 start a"), second.end());
}

TEST_F(Sequencer, RestartDropsActiveSectionsWithoutStopping) {
    add(0, "L", 0, 0);
    Section* a = add(10, "a", 0, 10);
    load();
    frame();
    ASSERT_EQ(active_list, a);
    a->elapsed = 3;
    events.clear();
    demo_restart();
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(active_list, nullptr);
    EXPECT_EQ(pending_list, a);
    EXPECT_EQ(a->elapsed, 0.0f);
}

TEST_F(Sequencer, FrameRateIsMeasuredOverMoreThanAThirdOfASecond) {
    record_fps = 10;
    clock_reset();
    for (int i = 0; i < 3; ++i) clock_advance();
    EXPECT_EQ(fps_value, 0.0f);  // 0.3 s is not past the threshold
    clock_advance();
    EXPECT_FLOAT_EQ(fps_value, 10.0f);
    EXPECT_EQ(fps_frames, 0);
    EXPECT_EQ(fps_time, 0.0f);
    EXPECT_EQ(frame_count, 4);
    EXPECT_FLOAT_EQ(frame_delta, 0.1f);
}
