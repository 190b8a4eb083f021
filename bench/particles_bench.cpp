// Frame time of the particle-heavy sections against floors that send the same GL calls from
// prepared arrays: particleTex of a 256 x 256 shape (65,536 sprites), particleMatrix of 10,000
// sprites, and a ray of 8 bolts x 64 segments with its glow. Each section cycles through the
// same few demo times; its floor replays the quads or lines the section drew at those times,
// with the same blending, texture, sprite axes and colours, so the ratio is what placing the
// sprites and walking the bolts costs on top of drawing them.
//
// Needs a display (make bench starts a virtual one). Prints table rows (bench/rounds.h).
#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL/SDL.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/random.h"
#include "runtime/registry.h"
#include "rounds.h"
#include "media_files.h"
#include "resources/spline.h"
#include "resources/texture.h"
#include "script/section.h"
#include "sections/particle_matrix.h"
#include "sections/particle_tex.h"
#include "sections/demo.h"
#include "sections/particles.h"
#include "sections/ray.h"

namespace {

constexpr int ROUNDS = 5;
// The demo times a section cycles through; its floor replays one prepared frame for each.
constexpr int TIMES = 8;

float time_of(int k) {
    return static_cast<float>(k % TIMES + 1) * 0.1f;
}

// A spline through the given keys, of the same channels each, over `duration` seconds; one key
// holds its values exactly at every time.
Spline* spline_of(std::vector<std::vector<float>> keys, float duration) {
    auto* spline = new Spline;
    for (const std::vector<float>& values : keys) {
        SplineKey key;
        for (size_t i = 0; i < values.size(); ++i) key.values[i] = values[i];
        spline->keys.push_back(key);
    }
    spline->key_count = static_cast<int>(keys.size());
    spline->channels = static_cast<int>(keys[0].size());
    spline_set_duration(spline, duration);
    return spline;
}

Spline* constant_spline(std::vector<float> values, float duration) {
    return spline_of({values}, duration);
}

void view_set() {
    glViewport(0, 0, 640, 360);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90, 16.0 / 9.0, 0.1, 500);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0, 0, 5, 0, 0, -100, 0, 1, 0);
}

// Milliseconds per frame of `draw(k)`, after one frame to warm up.
template <typename Draw>
double frame_ms(Draw&& draw) {
    auto frame = [&](int k) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        view_set();
        draw(k);
        glFinish();
    };
    frame(0);
    return rounds::ms_per_call(frame, 0.5);
}

template <typename Section, typename Floor>
void compare(const char* what, Section&& section, Floor&& floor) {
    rounds::compare(
        what, rounds::ms_per_frame, ROUNDS, [&] { return frame_ms(section); },
        [&] { return frame_ms(floor); });
}

// One sprite as the sections send it: a colour and four corners.
struct Quad {
    float colour[4];
    float corners[4][3];
};
using QuadFrame = std::vector<Quad>;

Quad quad_of(const Vector3& position, const Vector3& right, const Vector3& up, const float colour[4]) {
    Quad q;
    Vector3 corners[4];
    particle_sprite_corners(position, right, up, corners);
    for (int c = 0; c < 4; ++c) {
        q.colour[c] = colour[c];
        q.corners[c][0] = corners[c].x;
        q.corners[c][1] = corners[c].y;
        q.corners[c][2] = corners[c].z;
    }
    return q;
}

// The sprite axes for the current modelview matrix.
void sprite_axes(float size, Vector3& right, Vector3& up) {
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    particle_sprite_axes(m, size, right, up);
}

void draw_quads(const QuadFrame& quads) {
    static constexpr float tex[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    glDepthMask(GL_FALSE);
    glBegin(GL_QUADS);
    for (const Quad& q : quads) {
        glColor4fv(q.colour);
        for (int k = 0; k < 4; ++k) {
            glTexCoord2f(tex[k][0], tex[k][1]);
            glVertex3fv(q.corners[k]);
        }
    }
    glEnd();
    glDepthMask(GL_TRUE);
}

// The demo the benchmarked sections belong to, and the frame their callbacks are handed.
Demo& bench_demo() {
    static Demo* demo = new Demo(section_types);
    return *demo;
}
Frame bench_frame() {
    return demo_frame(bench_demo());
}

void bench_particle_tex() {
    Section s;
    s.start = 0;
    s.end = s.duration = 10;
    s.string_count = 2;
    s.strings[0] = "shape.tga";
    s.strings[1] = "sprite.tga";
    const float params[8] = {0.02f, 0.01f, 1, 0, 0, 0, 0.5f, 1};
    s.param_count = 8;
    for (int i = 0; i < 8; ++i) s.params[i] = params[i];
    Frame f = bench_frame();
    particle_tex_init(s, f);
    auto& image = *static_cast<ParticleImage*>(s.data);
    auto place = [&] {
        glTranslatef(s.params[3], s.params[4], s.params[5]);
        glRotatef(-90, 0, 0, 1);
    };
    std::vector<QuadFrame> frames(TIMES);
    for (int k = 0; k < TIMES; ++k) {
        s.elapsed = time_of(k);
        view_set();
        particle_tex_render(s, f);
        place();
        Vector3 right, up;
        sprite_axes(image.sprite_size, right, up);
        for (const TexParticle& p : image.particles) {
            const float colour[4] = {p.colour[0] / 255.0f, p.colour[1] / 255.0f, p.colour[2] / 255.0f,
                                     p.colour[3] / 255.0f};
            frames[k].push_back(quad_of({p.position[0], p.position[1], p.position[2]}, right, up, colour));
        }
    }
    compare(
        "particleTex, 256 x 256 shape (65,536 sprites)",
        [&](int k) {
            s.elapsed = time_of(k);
            particle_tex_render(s, f);
        },
        [&](int k) {
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE);
            glPushMatrix();
            place();
            texture_bind(image.sprite_texture);
            draw_quads(frames[k % TIMES]);
            glPopMatrix();
            glDisable(GL_BLEND);
        });
}

// A chain whose shape holds still, or one that turns a little further every frame (its links'
// directions then change, and the section works them out again).
void bench_particle_matrix(bool turning) {
    Section s;
    s.start = 0;
    s.end = s.duration = 10;
    s.param_count = 2;
    s.params[0] = 10000;
    s.params[1] = 1;
    s.string_count = 1;
    s.strings[0] = "sprite.tga";
    s.blend_on = 1;
    s.blend_src = GL_SRC_ALPHA;
    s.blend_dst = GL_ONE;
    s.spline_count = 3;
    s.splines[0] = constant_spline({0, -2, 0}, 10);
    s.splines[1] = turning ? spline_of({{0.05f, 7, 0.05f, 0.02f}, {0.05f, 8, 0.05f, 0.02f}}, 10)
                           : constant_spline({0.05f, 7, 0.05f, 0.02f}, 10);
    s.splines[2] = constant_spline({1, 0.5f, 0.2f, 1}, 10);
    Frame f = bench_frame();
    particle_matrix_init(s, f);
    auto& system = *static_cast<ParticleSystem*>(s.data);
    std::vector<QuadFrame> frames(TIMES);
    for (int k = 0; k < TIMES; ++k) {
        s.elapsed = time_of(k);
        view_set();
        particle_matrix_render(s, f);
        Vector3 right, up;
        sprite_axes(system.size, right, up);
        for (const Particle& p : system.particles) {
            if (p.alive != 0) frames[k].push_back(quad_of(p.position, right, up, p.color));
        }
    }
    compare(
        turning ? "particleMatrix, 10,000 sprites, turning" : "particleMatrix, 10,000 sprites, still",
        [&](int k) {
            s.elapsed = time_of(k);
            particle_matrix_render(s, f);
        },
        [&](int k) {
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE);
            texture_bind(system.textures[0]);
            draw_quads(frames[k % TIMES]);
            glDisable(GL_BLEND);
        });
    for (int i = 0; i < 3; ++i) delete s.splines[i];
}

void bench_ray() {
    Section s;
    s.start = 0;
    s.end = s.duration = 10;
    s.param_count = 2;
    s.params[0] = 1;
    s.params[1] = 64;
    s.spline_count = 2;
    s.splines[0] = constant_spline({-3, -1, 0, 3, 1, 0, 0.3f, 3, 0.2f, 8}, 10);
    s.splines[1] = constant_spline({0.6f, 0.7f, 1}, 10);
    Frame f = bench_frame();
    section_types[section_types.find("ray")]->init(s, f);
    Ray& ray = *static_cast<Ray*>(s.data);
    // The lines of each time, walked as the section walks them, with its glow passes.
    struct Line {
        float from[3], to[3];
    };
    std::vector<std::vector<Line>> frames(TIMES);
    std::vector<RayPass> passes;
    float colour[3] = {};
    for (int k = 0; k < TIMES; ++k) {
        s.elapsed = time_of(k);
        float ch0[SPLINE_MAX_CHANNELS] = {}, ch1[SPLINE_MAX_CHANNELS] = {};
        spline_eval(s.splines[0], ch0, s.elapsed);
        spline_eval(s.splines[1], ch1, s.elapsed);
        ray_set_channels(ray, ch0, ch1);
        passes = ray_glow_passes(ray.layers);
        std::copy(ray.colour, ray.colour + 3, colour);
        ray_walk(ray, bench_demo().random, [&](const float* from, const float* to) {
            frames[k].push_back({{from[0], from[1], from[2]}, {to[0], to[1], to[2]}});
        });
    }
    compare(
        "ray, 8 bolts x 64 segments with glow",
        [&](int k) {
            s.elapsed = time_of(k);
            section_types[section_types.find("ray")]->render(s, f);
        },
        [&](int k) {
            glDisable(GL_TEXTURE_2D);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE);
            glEnable(GL_BLEND);
            for (const Line& line : frames[k % TIMES]) {
                for (const RayPass& pass : passes) {
                    glLineWidth(pass.width);
                    glColor4f(colour[0], colour[1], colour[2], pass.alpha);
                    glBegin(GL_LINES);
                    glVertex3fv(line.from);
                    glVertex3fv(line.to);
                    glEnd();
                }
            }
            glLineWidth(1);
            glDisable(GL_BLEND);
            glEnable(GL_TEXTURE_2D);
        });
    for (int i = 0; i < 2; ++i) delete s.splines[i];
}

}  // namespace

int main() {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tarvel-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    media::Bytes shape;
    for (int i = 0; i < 256 * 256; ++i) shape += "\xc8\x64\x32";  // every pixel bright
    media::save("shape.tga", media::tga(256, 256, shape, 24));
    media::save("sprite.tga", media::tga(8, 8, media::Bytes(8 * 8 * 3, '\xff'), 24));

    if (SDL_Init(SDL_INIT_VIDEO) != 0 || SDL_SetVideoMode(640, 360, 0, SDL_OPENGL) == nullptr) {
        std::fprintf(stderr, "particles_bench: no OpenGL window: %s\n", SDL_GetError());
        return 1;
    }
    // The player's default state.
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glShadeModel(GL_FLAT);

    bench_particle_tex();
    bench_particle_matrix(false);
    bench_particle_matrix(true);
    bench_ray();

    SDL_Quit();
    std::filesystem::current_path("/");
    std::filesystem::remove_all(dir);
    return 0;
}
