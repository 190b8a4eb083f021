// Frame time of each frame effect: a 800 x 600 window drawing a 512 x 512 frame, one
// background picture, then the effect, timed up to glFinish, against a floor drawing the same
// background and then the effect's GL calls from prepared values. Before timing, each floor
// must end on the section's picture, or the benchmark fails after printing its rows. Needs a
// display. Prints table rows (bench/rounds.h).
#include <GL/gl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "base/config.h"
#include "runtime/registry.h"
#include "effects/deform.h"
#include "effects/radial_blur.h"
#include "effects/render_mesh.h"
#include "gfx/ortho.h"
#include "resources/texture.h"
#include "rounds.h"
#include "runtime/startup.h"
#include "gfx/window.h"
#include "media_files.h"
#include "resources/spline.h"
#include "script/parser.h"
#include "script/section.h"
#include "sections/demo.h"

namespace {

constexpr int ROUNDS = 5;
constexpr float STEP = 1.0f / 60;

// The demo the sections belong to, kept for the whole run.
Demo& bench_demo() {
    static Demo* demo = new Demo(section_types);
    return *demo;
}

Section* section_of(const char* type, std::initializer_list<float> params) {
    Section* s = bench_demo().sections.add();
    s->type = section_types.find(type);
    s->start = 0;
    s->end = s->duration = 10;
    for (float p : params) s->params[s->param_count++] = p;
    return s;
}

void call(Section* s, SectionCallback SectionType::*slot) {
    Frame f = demo_frame(bench_demo());
    (section_types[s->type]->*slot)(*s, f);
}

// Milliseconds per frame of the background followed by `effect(k)`, after a warm-up.
template <typename Effect>
double frame_ms(Section* background, Effect&& effect) {
    auto frame = [&](int k) {
        frame_begin();
        call(background, &SectionType::render);
        effect(k);
        glFinish();
    };
    for (int k = 0; k < 5; ++k) frame(k);  // warm up the driver
    return rounds::ms_per_call(frame, 0.4);
}

// Whether a hundred frames of the background and `effect` end on the same picture as a hundred
// of the background and `floor`: a floor that drew something else would time other work.
template <typename Effect, typename Floor>
bool same_picture(Section* background, Effect&& effect, Floor&& floor) {
    auto picture = [&](auto&& draw) {
        for (int k = 0; k < 100; ++k) {
            frame_begin();
            call(background, &SectionType::render);
            draw(k);
        }
        std::vector<unsigned char> pixels(static_cast<size_t>(window_settings().gl_rttWidth) *
                                          window_settings().gl_rttHeight * 4);
        glReadPixels(0, 0, window_settings().gl_rttWidth, window_settings().gl_rttHeight, GL_RGBA,
                     GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    };
    return picture(effect) == picture(floor);
}

// The effect section's own render at the k-th step.
auto section_effect(Section* effect) {
    return [effect](int k) {
        effect->elapsed = static_cast<float>(k) * STEP;
        call(effect, &SectionType::render);
    };
}

void flat_quad(GLenum src, GLenum dst, const float colour[4]) {
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(src, dst);
    glColor4fv(colour);
    ortho_begin();
    fullscreen_quad();
    ortho_end();
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
}

// A texture the size of the frame, for the floors' frame copies: linear and clamped, as the
// player's frame-sized textures are.
GLuint frame_sized_texture(GLenum format) {
    GLuint name;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    std::vector<unsigned char> zero(static_cast<size_t>(window_settings().gl_rttWidth) *
                                    window_settings().gl_rttHeight * 3);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), window_settings().gl_rttWidth,
                 window_settings().gl_rttHeight, 0, GL_RGB, GL_UNSIGNED_BYTE, zero.data());
    texture_unbind_all();
    return name;
}

}  // namespace

int main() {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tarvel-effects-bench";
    std::filesystem::create_directories(dir / "data");
    media::save((dir / "data/back.tga").string(), media::tga(512, 512, media::pattern_rgb(512, 512), 24));
    // One control point of the deform grid moving about, so that the spline work is counted.
    media::save((dir / "data/move.spl").string(), "3 3 0 0 0\n3 3 90 -60 40\n3 3 0 0 0\n");
    if (chdir(dir.c_str()) != 0) return 1;

    WindowSettings window;
    window.gl_width = 800;
    window.gl_height = 600;
    window.gl_rttWidth = 512;
    window.gl_rttHeight = 512;
    window_open(window);

    Section* background = section_of("background", {});
    background->strings[background->string_count++] = "data/back.tga";
    call(background, &SectionType::init);

    Section* deform = section_of("efxDeform", {8, 32, 32});
    deform->spline_names[0] = "data/move.spl";
    deform->splines[0] = spline_load("data/move.spl");
    spline_set_duration(deform->splines[0], 10);
    deform->spline_durations[deform->spline_count++] = 10;

    auto prepared = [&](Section* c) {
        call(c, &SectionType::prepare);
        call(c, &SectionType::init);
        return c;
    };
    bool floors_differ = false;
    auto compare = [&](const std::string& what, Section* effect, auto&& floor) {
        call(effect, &SectionType::start);
        if (!same_picture(background, section_effect(effect), floor)) {
            std::fprintf(stderr, "%s: the floor draws another picture than the section\n", what.c_str());
            floors_differ = true;
        }
        call(effect, &SectionType::start);
        rounds::compare(
            what, rounds::ms_per_frame, ROUNDS, [&] { return frame_ms(background, section_effect(effect)); },
            [&] { return frame_ms(background, floor); });
    };

    Section* fader = prepared(section_of("efxFader", {0, 0, 0, 0, 0, 0, 0, 1}));
    compare("efxFader", fader, [&](int k) {
        const float t = static_cast<float>(k) * STEP / fader->duration;
        const float colour[4] = {0, 0, 0, t};
        flat_quad(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, colour);
    });
    compare("efxColor", prepared(section_of("efxColor", {1, 0.5f, 0.5f})),
            [](int) { glColor3f(1, 0.5f, 0.5f); });

    const GLuint grey = frame_sized_texture(GL_LUMINANCE);
    Section* black_white = prepared(section_of("efxBlackWhite", {0, 1}));
    compare("efxBlackWhite", black_white, [&](int k) {
        glDisable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        ortho_begin();
        glBindTexture(GL_TEXTURE_2D, grey);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, window_settings().gl_rttWidth,
                            window_settings().gl_rttHeight);
        glColor4f(1, 1, 1, static_cast<float>(k) * STEP / black_white->duration);
        fullscreen_quad_textured();
        ortho_end();
        glDisable(GL_BLEND);
        glEnable(GL_DEPTH_TEST);
        texture_unbind_all();
    });
    compare("efxInverse", prepared(section_of("efxInverse", {})), [](int) {
        const float white[4] = {1, 1, 1, 1};
        flat_quad(GL_ONE_MINUS_DST_COLOR, GL_ZERO, white);
    });

    // The blur's windows worked out beforehand for every step a round can reach.
    Section* blur =
        prepared(section_of("efxRadialBlur", {8, 0.2f, 0.01f, 0.2f, 0.02f, 0.5f, 0.5f, 0.5f, 0.5f}));
    const RadialBlur blur_values = radial_blur_from_params(blur->params);
    struct BlurStep {
        float alpha;
        std::vector<RadialBlurWindow> windows;
    };
    std::vector<BlurStep> blur_steps;
    for (int k = 0; k < 2000; ++k) {
        const RadialBlurFrame f =
            radial_blur_frame(blur_values, static_cast<float>(k) * STEP / blur->duration);
        BlurStep step{f.alpha, {}};
        for (int i = 0; i < radial_blur_pass_count(blur->params[0]); ++i)
            step.windows.push_back(radial_blur_window(i, f));
        blur_steps.push_back(step);
    }
    const GLuint blur_texture = frame_sized_texture(GL_RGB);
    compare("efxRadialBlur, 8 passes", blur, [&](int k) {
        const BlurStep& step = blur_steps[static_cast<size_t>(k) % blur_steps.size()];
        glDisable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        ortho_begin();
        glBindTexture(GL_TEXTURE_2D, blur_texture);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glColor4f(1, 1, 1, step.alpha);
        for (const RadialBlurWindow& w : step.windows) {
            glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, window_settings().gl_rttWidth,
                                window_settings().gl_rttHeight);
            glBegin(GL_QUADS);
            glTexCoord2f(w.left, w.top);
            glVertex2f(0, 1);
            glTexCoord2f(w.left, w.bottom);
            glVertex2f(0, 0);
            glTexCoord2f(w.right, w.bottom);
            glVertex2f(1, 0);
            glTexCoord2f(w.right, w.top);
            glVertex2f(1, 1);
            glEnd();
        }
        ortho_end();
        glDisable(GL_BLEND);
        glEnable(GL_DEPTH_TEST);
        texture_unbind_all();
    });

    // The deform sheet: its control points at every step a round can reach, and the camera's
    // matrices as the section loads them (read back after one frame of it).
    prepared(deform);
    call(deform, &SectionType::start);
    section_effect(deform)(0);
    GLfloat deform_projection[16], deform_modelview[16];
    glGetFloatv(GL_PROJECTION_MATRIX, deform_projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, deform_modelview);
    const DeformGrid& deform_grid = *static_cast<DeformGrid*>(deform->data);
    const int order = deform_grid.order;
    // Worked out step after step as the section does: a point a spline leaves keeps its place.
    std::vector<std::vector<float>> deform_steps;
    DeformGrid sheet = deform_grid;
    sheet.current = sheet.rest;
    for (int k = 0; k < 2000; ++k) {
        float values[SPLINE_MAX_CHANNELS] = {};
        spline_eval(deform->splines[0], values, static_cast<float>(k) * STEP);
        deform_grid_move(sheet, values);
        deform_steps.push_back(sheet.current);
    }
    const GLuint deform_texture = frame_sized_texture(GL_RGB);
    const float corners[8] = {0, 0, 0, 1, 1, 0, 1, 1};
    compare("efxDeform, 8 x 8 grid, 32 x 32 mesh", deform, [&](int k) {
        glBindTexture(GL_TEXTURE_2D, deform_texture);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, window_settings().gl_rttWidth,
                            window_settings().gl_rttHeight);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(deform_projection);
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(deform_modelview);
        glMap2f(GL_MAP2_VERTEX_3, 0, 1, 3, order, 0, 1, 3 * order, order,
                deform_steps[static_cast<size_t>(k) % deform_steps.size()].data());
        glMap2f(GL_MAP2_TEXTURE_COORD_2, 0, 1, 2, 2, 0, 1, 4, 2, corners);
        glEnable(GL_MAP2_TEXTURE_COORD_2);
        glEnable(GL_MAP2_VERTEX_3);
        glMapGrid2f(32, 0, 1, 32, 0, 1);
        glEvalMesh2(GL_FILL, 0, 32, 0, 32);
        glDisable(GL_MAP2_VERTEX_3);
        glDisable(GL_MAP2_TEXTURE_COORD_2);
        texture_unbind_all();
    });

    // The feedback mesh: mode 3 does not move, so one set of quads serves every step.
    Section* render_mesh = prepared(section_of("efxRenderMesh", {3, 0.9f, 0.9f, 1}));
    RenderMesh mesh_values;
    render_mesh_grid_update(mesh_values, 3, 0);
    struct MeshCorner {
        double st[2];
        float xy[2];
    };
    std::vector<MeshCorner> mesh_corners;
    for (int i = 0; i < RENDER_MESH_CELLS; ++i) {
        for (int j = 0; j < RENDER_MESH_CELLS; ++j) {
            for (auto [di, dj] : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 1}}) {
                const double* st = mesh_values.grid[RENDER_MESH_POINTS * (i + di) + j + dj];
                mesh_corners.push_back({{st[0], st[1]},
                                        {static_cast<float>(i + di) / RENDER_MESH_CELLS,
                                         static_cast<float>(j + dj) / RENDER_MESH_CELLS}});
            }
        }
    }
    const GLuint feedback = frame_sized_texture(GL_RGB);
    compare("efxRenderMesh, mode 3, fed back", render_mesh, [&](int k) {
        glDisable(GL_DEPTH_TEST);
        ortho_begin();
        glColor4f(1, 1, 1, 0.9f);
        glBindTexture(GL_TEXTURE_2D, feedback);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        if (k > 0) fullscreen_quad_textured();  // as the section, nothing before the first capture
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, window_settings().gl_rttWidth,
                            window_settings().gl_rttHeight);
        glClear(GL_DEPTH_BUFFER_BIT);
        glBegin(GL_QUADS);
        for (const MeshCorner& c : mesh_corners) {
            glTexCoord2dv(c.st);
            glVertex2fv(c.xy);
        }
        glEnd();
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, window_settings().gl_rttWidth,
                            window_settings().gl_rttHeight);
        ortho_end();
        glEnable(GL_DEPTH_TEST);
        texture_unbind_all();
    });

    // The demo clock stands at 0 here, so one repetition of the fader runs all along, its
    // elapsed time the outer section's and its length the repetition's.
    Section* repeat = section_of("efxRepeat", {1, 0.5f, 0, 0, 0, 0, 0, 0, 0, 0, 1});
    repeat->strings[repeat->string_count++] = "efxFader";
    compare("efxRepeat of efxFader", prepared(repeat), [&](int k) {
        const float colour[4] = {0, 0, 0, static_cast<float>(k) * STEP / 0.5f};
        flat_quad(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, colour);
    });
    rounds::row_alone("background alone", rounds::ms_per_frame,
                      {frame_ms(background, [](int) {}), frame_ms(background, [](int) {})});

    player_shutdown();
    std::filesystem::remove_all(dir);
    return floors_differ ? 1 : 0;
}
