// The sequencer run against a table of recording section types and recording frame steps, so
// that every callback shows up in a log instead of on a screen.
#include "runtime/sequencer.h"
#include "runtime/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/config.h"
#include "gfx/camera.h"
#include "script/parser.h"
#include "script/section.h"

namespace {

using Log = std::vector<std::string>;
Log events;

void note(const std::string& what, const Section& s) {
    events.push_back(what + " " + s.strings[0]);
}

template <size_t... Rows>
std::vector<const SectionType*> make_table(std::index_sequence<Rows...>) {
    static const SectionType rows[] = {
        SectionType{"fake", [](Section& s, Frame&) { note("prepare " + std::to_string(Rows) + " with", s); },
                    [](Section& s, Frame&) { note("init", s); }, [](Section& s, Frame&) { note("start", s); },
                    [](Section& s, Frame& f) {  // the loading type draws progress after every step
                        if (Rows > 0) return note("render", s);
                        events.push_back("progress " + std::to_string(f.demo.load_step_count) + "/" +
                                         std::to_string(f.demo.load_type_count + f.demo.load_section_count));
                    },
                    [](Section& s, Frame&) { note("stop", s); }, section_check_none}...};
    return {&rows[Rows]...};
}

std::vector<const SectionType*> fake_table = make_table(std::make_index_sequence<SECTION_TYPE_COUNT>());

class Sequencer : public ::testing::Test {
  protected:
    void SetUp() override {
        frame_output = {[] { events.push_back("begin"); },
                        [](const Demo&) { events.push_back("capture"); },
                        [] { events.push_back("present"); },
                        [](const Demo&) { events.push_back("fps"); },
                        [](const Demo&) { events.push_back("timing"); },
                        [] { events.push_back("swap"); }};
        demo.settings.record = 1;
        demo.settings.record_fps = 25.0f;
        events.clear();
        add(0, "L", 0, 0);  // the loading section, not kept: its span ends at demo_start
    }
    void TearDown() override { frame_output = frame_output_default(); }

    // Sections are offered like the parser makes them: each new one goes to the head of the list.
    Section* add(int type, const std::string& name, float start, float end, int layer = 0) {
        Section* s = demo.sections.add();
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
        clock_reset(demo);
        load_phase(demo);
        clock_sync(demo);
        events.clear();
    }

    // One frame and one clock step, returning what the frame logged.
    Log frame() {
        events.clear();
        frame_step(demo);
        return events;
    }

    Demo demo{SectionTypes{fake_table.data(), static_cast<int>(fake_table.size())}};
};

}  // namespace

TEST_F(Sequencer, LoadPhasePreparesTypesThenInitialisesSectionsWithProgress) {
    add(14, "img", 1, 2);
    add(10, "bg1", 0, 3);
    add(10, "bg2", 0, 1);
    add(5, "unused", 4, 5);
    demo.settings.demo_end = 4;  // drops "unused": its type is never prepared
    clock_reset(demo);
    load_phase(demo);
    EXPECT_EQ(events, (Log{"prepare 0 with L", "init L", "start L",
                           // types in row order, each followed by a loading frame
                           "prepare 10 with L", "progress 1/5", "prepare 14 with L", "progress 2/5",
                           // sections in pending order
                           "init bg1", "progress 3/5", "init bg2", "progress 4/5", "init img", "progress 5/5",
                           "stop L"}));
    EXPECT_FLOAT_EQ(demo_load_progress(demo), 1.0f);
}

TEST_F(Sequencer, ClockStepsByTheRecordingRateAndSectionsRenderWithinTheirSpan) {
    Section* a = add(10, "A", 0, 0.1f);
    add(10, "B", 0.05f, 0.07f);  // falls between the frames at 0.04 and 0.08
    load();
    std::vector<Log> frames;
    while (!demo.quit && frames.size() < 10) {
        EXPECT_FLOAT_EQ(demo.time, frames.size() / 25.0f);
        frames.push_back(frame());
        if (demo.active == a) {
            EXPECT_FLOAT_EQ(a->elapsed, demo.time - demo.delta);
        }
    }
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[2], (Log{"start B", "begin", "stop B", "render A", "capture", "present", "swap"}));
    // The frame at 0.12 is past A's end: stopped, not rendered; then nothing is left.
    EXPECT_EQ(frames[3], (Log{"begin", "stop A", "capture", "present", "swap"}));
    EXPECT_EQ(demo.frame_count, 4);
}

TEST_F(Sequencer, OverlayStepFollowsTheFlagsCaptureOnlyWhenRecordingAndTheCameraIsCleared) {
    add(10, "a", 0, 100);
    load();
    demo.settings.record = 0;
    demo.settings.fps = 1;
    demo.settings.timing = 1;
    Camera camera;
    demo.camera = &camera;
    frame_run(demo);
    EXPECT_EQ(events, (Log{"start a", "begin", "render a", "present", "fps", "swap"}));
    EXPECT_EQ(demo.camera, nullptr);
    demo.settings.fps = 0;
    events.clear();
    frame_run(demo);
    EXPECT_EQ(events, (Log{"begin", "render a", "present", "timing", "swap"}));
}

TEST_F(Sequencer, ANegativeEndDropsEverythingAndStopsAfterOneEmptyFrame) {
    add(10, "a", 0, 1);
    demo.settings.demo_end = -1;
    load();
    EXPECT_EQ(frame(), (Log{"begin", "capture", "present", "swap"}));
    EXPECT_TRUE(demo.quit);
}

// Frames at 2.00, 2.04, 2.08 and 2.12, the first past the end although "long" has 98 s to go;
// what ends where the demo starts, or starts where it ends, is never loaded.
TEST_F(Sequencer, DemoStartDropsWhatHasEndedAndDemoEndStopsAfterTheFirstFramePastIt) {
    add(10, "long", 0, 100, 1);
    add(10, "short", 2.04f, 2.1f, 2);
    add(10, "ended", 0, 2);
    add(10, "late", 2.1f, 100);
    demo.settings.demo_start = 2;
    demo.settings.demo_end = 2.1f;
    load();
    Log renders;
    for (int i = 0; !demo.quit && i < 10; ++i) {
        EXPECT_FLOAT_EQ(demo.time, 2 + i / 25.0f);
        for (const std::string& e : frame()) renders.push_back(e.rfind("render", 0) == 0 ? e : "");
        std::erase(renders, "");
        renders.push_back("|");
    }
    EXPECT_EQ(renders, (Log{"render long", "|", "render long", "render short", "|", "render long",
                            "render short", "|", "render long", "|"}));
}

// The pass ends and starts again at demo_start, every section waiting and the generator
// reseeded (a section drawing every frame stands in for the draws), so every pass is the first.
TEST_F(Sequencer, ALoopingDemoStartsEveryPassAlike) {
    add(10, "a", 0.5f, 0.55f);
    demo.settings.demo_start = 0.5f;
    demo.settings.loop = 1;
    load();
    Log passes[2];
    for (Log& pass : passes) {
        do {
            random_next(demo.random);
            for (const std::string& e : frame()) pass.push_back(e);
        } while (demo.frame_count > 0 && pass.size() < 100);
        EXPECT_TRUE(!demo.quit && demo.time == 0.5f && demo.random.z == Random{}.z &&
                    demo.random.w == Random{}.w);
    }
    EXPECT_EQ(passes[0], passes[1]);
}
