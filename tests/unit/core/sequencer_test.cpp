// The sequencer run against a table of recording section types and recording frame steps, so
// that every callback shows up in a log instead of on a screen.
#include "core/sequencer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "base/config.h"
#include "base/random.h"
#include "gfx/view.h"
#include "script/parser.h"
#include "script/section.h"

namespace {

using Log = std::vector<std::string>;
Log events;

void note(const std::string& what) {
    events.push_back(what + " " + current_section->strings[0]);
}

template <size_t... Rows>
std::vector<SectionType> make_rows(std::index_sequence<Rows...>) {
    return {SectionType{"fake", [] { note("prepare " + std::to_string(Rows) + " with"); },
                        [] { note("init"); }, [] { note("start"); }, [] { note("render"); },
                        [] { note("stop"); }}...};
}

std::vector<SectionType> fake_rows = [] {
    auto rows = make_rows(std::make_index_sequence<SECTION_TYPE_COUNT>());
    rows[0].render = [] {  // the loading type draws progress after every step
        events.push_back("progress " + std::to_string(load_step_count) + "/" +
                         std::to_string(load_type_count + load_section_count));
    };
    return rows;
}();
std::vector<const SectionType*> fake_table = [] {
    std::vector<const SectionType*> t;
    for (const SectionType& row : fake_rows) t.push_back(&row);
    return t;
}();

class Sequencer : public ::testing::Test {
  protected:
    void SetUp() override {
        config_reset_defaults();
        sequencer_types = fake_table.data();
        frame_output = {[] { events.push_back("begin"); },   [] { events.push_back("capture"); },
                        [] { events.push_back("present"); }, [] { events.push_back("fps"); },
                        [] { events.push_back("timing"); },  [] { events.push_back("swap"); }};
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
    Log frame() {
        events.clear();
        idle_step();
        return events;
    }
};

}  // namespace

TEST_F(Sequencer, PendingListIsByStartThenOrderOfParsing) {
    for (auto [name, start] : {std::pair{"A", 2}, {"B", 1}, {"C", 2}, {"D", 0}, {"E", 1}})
        add(10, name, start, 5);
    sequence_build();
    Log names;
    Section* prev = nullptr;
    for (Section* s = pending_list; s != nullptr; prev = s, s = s->pending_next) {
        names.push_back(s->strings[0]);
        EXPECT_EQ(s->pending_prev, prev);
    }
    EXPECT_EQ(names, (Log{"D", "B", "E", "A", "C"}));
}

TEST_F(Sequencer, LoadPhasePreparesTypesThenInitialisesSectionsWithProgress) {
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
    EXPECT_FLOAT_EQ(load_progress(), 1.0f);

    // A kept loading section is initialised again among the sections; row 0 is not prepared twice.
    section_list_clear();
    config_reset_defaults();
    add(0, "L", 0, 1);
    add(10, "bg", 0, 1);
    events.clear();
    clock_reset();
    load_phase();
    EXPECT_EQ(events, (Log{"prepare 0 with L", "init L", "start L", "prepare 10 with L", "progress 1/4",
                           "init L", "progress 2/4", "init bg", "progress 3/4", "stop L"}));
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
    while (!quit_flag && frames.size() < 10) {
        EXPECT_FLOAT_EQ(demo_time, frames.size() / 25.0f);
        frames.push_back(frame());
        if (active_list == a) {
            EXPECT_FLOAT_EQ(a->elapsed, demo_time - frame_delta);
        }
    }
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[2], (Log{"start B", "begin", "stop B", "render A", "capture", "present", "swap"}));
    // The frame at 0.12 is past A's end: stopped, not rendered; then nothing is left.
    EXPECT_EQ(frames[3], (Log{"begin", "stop A", "capture", "present", "swap"}));
    EXPECT_EQ(frame_count, 4);
}

TEST_F(Sequencer, DemoStartRetimesAndDemoEndStopsAfterTheFirstFramePastIt) {
    add(0, "L", 0, 0);
    Section* kept = add(10, "kept", 10, 100);
    add(10, "dropped", 10, 30);  // ends at demo_start
    add(10, "late", 30.1f, 70);  // starts at demo_end
    demo_start = 30;
    demo_end = 30.1f;
    load();
    EXPECT_EQ(demo_time, 30.0f);
    EXPECT_EQ(frame(), (Log{"start kept", "begin", "render kept", "capture", "present", "swap"}));
    EXPECT_FLOAT_EQ(kept->elapsed, 20.0f);
    std::vector<float> times{30.0f};
    while (!quit_flag && times.size() < 20) {
        times.push_back(demo_time);
        EXPECT_EQ(frame(), (Log{"begin", "render kept", "capture", "present", "swap"}));
    }
    EXPECT_EQ(times.size(), 4u);  // 30.04 and 30.08 are before the end, 30.12 past it

    // A negative end drops everything and stops after one empty frame.
    config_reset_defaults();
    record = 1;
    add(0, "L", 0, 0);
    add(10, "a", 0, 1);
    demo_end = -1;
    load();
    EXPECT_EQ(pending_list, nullptr);
    EXPECT_EQ(frame(), (Log{"begin", "capture", "present", "swap"}));
    EXPECT_TRUE(quit_flag);
}

TEST_F(Sequencer, OverlayStepFollowsTheFlagsCaptureOnlyWhenRecordingAndTheCameraIsCleared) {
    add(0, "L", 0, 0);
    add(10, "a", 0, 100);
    load();
    record = 0;
    fps = 1;
    timing = 1;
    current_camera = camera_new();
    frame_run();
    EXPECT_EQ(events, (Log{"start a", "begin", "render a", "present", "fps", "swap"}));
    EXPECT_EQ(current_camera, nullptr);
    fps = 0;
    events.clear();
    frame_run();
    EXPECT_EQ(events, (Log{"begin", "render a", "present", "timing", "swap"}));
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
    EXPECT_EQ(pass(), first);
    EXPECT_NE(std::find(first.begin(), first.end(), "0 start a"), first.end());
}
