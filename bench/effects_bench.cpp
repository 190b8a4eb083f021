// Frame time added by each frame effect: a 800 x 600 window drawing a 512 x 512 frame, one
// background picture, then the effect, timed up to glFinish. Needs a display (run it under
// xvfb-run on a machine without one). Prints milliseconds per frame for the background alone
// and the time each effect adds to it.
#include <GL/gl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/config.h"
#include "core/startup.h"
#include "gfx/video.h"
#include "media_files.h"
#include "resources/spline.h"
#include "script/parser.h"
#include "script/section.h"

namespace {

constexpr int kFrames = 40;
constexpr int kRounds = 7;
constexpr float kStep = 1.0f / 60;

Section* section_of(const char* type, std::initializer_list<float> params) {
    Section* s = section_new();
    s->type = section_type_find(type);
    s->start = 0;
    s->end = s->duration = 10;
    for (float p : params) s->params[s->param_count++] = p;
    return s;
}

void call(Section* s, SectionCallback SectionType::*slot) {
    current_section = s;
    (section_types[s->type]->*slot)();
}

// Milliseconds per frame of the background followed by `effect` (none when null).
double frame_ms(Section* background, Section* effect) {
    if (effect != nullptr) call(effect, &SectionType::start);
    auto frame = [&](int k) {
        frame_begin();
        call(background, &SectionType::render);
        if (effect != nullptr) {
            effect->elapsed = static_cast<float>(k) * kStep;
            call(effect, &SectionType::render);
        }
        glFinish();
    };
    for (int k = 0; k < 10; ++k) frame(k);  // warm up the driver
    auto begin = std::chrono::steady_clock::now();
    for (int k = 0; k < kFrames; ++k) frame(k);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count() /
           kFrames;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tarvel-effects-bench";
    std::filesystem::create_directories(dir / "data");
    media::save((dir / "data/back.tga").string(), media::tga(512, 512, media::pattern_rgb(512, 512), 24));
    // One control point of the deform grid moving about, so that the spline work is counted.
    media::save((dir / "data/move.spl").string(), "3 3 0 0 0\n3 3 90 -60 40\n3 3 0 0 0\n");
    if (chdir(dir.c_str()) != 0) return 1;

    config_reset_defaults();
    gl_width = 800;
    gl_height = 600;
    gl_rttWidth = 512;
    gl_rttHeight = 512;
    video_init();

    Section* background = section_of("background", {});
    background->strings[background->string_count++] = "data/back.tga";
    call(background, &SectionType::init);

    Section* deform = section_of("efxDeform", {8, 32, 32});
    deform->spline_names[0] = "data/move.spl";
    deform->splines[0] = spline_load("data/move.spl");
    spline_set_duration(deform->splines[0], 10);
    deform->spline_durations[deform->spline_count++] = 10;

    struct Case {
        const char* label;
        Section* section;
    } cases[] = {
        {"efxFader", section_of("efxFader", {0, 0, 0, 0, 0, 0, 0, 1})},
        {"efxColor", section_of("efxColor", {1, 0.5f, 0.5f})},
        {"efxBlackWhite", section_of("efxBlackWhite", {0, 1})},
        {"efxInverse", section_of("efxInverse", {})},
        {"efxRadialBlur, 8 passes",
         section_of("efxRadialBlur", {8, 0.2f, 0.01f, 0.2f, 0.02f, 0.5f, 0.5f, 0.5f, 0.5f})},
        {"efxDeform, 8 x 8 grid, 32 x 32 mesh", deform},
        {"efxRenderMesh, mode 3, fed back", section_of("efxRenderMesh", {3, 0.9f, 0.9f, 1})},
        {"efxRepeat of efxFader", section_of("efxRepeat", {1, 0.5f, 0, 0, 0, 0, 0, 0, 0, 0, 1})},
    };
    cases[7].section->strings[cases[7].section->string_count++] = "efxFader";

    for (const Case& c : cases) {
        call(c.section, &SectionType::prepare);
        call(c.section, &SectionType::init);
    }

    // The machine's load drifts: each round times the background alone right before the effect,
    // and the median of the differences is reported.
    std::vector<double> alone;
    for (const Case& c : cases) {
        std::vector<double> added;
        for (int r = 0; r < kRounds; ++r) {
            const double base = frame_ms(background, nullptr);
            alone.push_back(base);
            added.push_back(frame_ms(background, c.section) - base);
        }
        std::printf("%-38s %+7.2f ms/frame\n", c.label, median(added));
    }
    std::printf("%-38s %7.2f ms/frame\n", "background alone (median)", median(alone));

    demo_shutdown();
    std::filesystem::remove_all(dir);
    return 0;
}
