// Frame time of the particle-heavy sections against a bare immediate-mode loop drawing the same
// quads and lines: particleTex of a 256 x 256 shape (65,536 sprites), particleMatrix of 10,000
// sprites, and a ray of 8 bolts x 64 segments at 3 glow layers.
//
// Needs a display (for example: xvfb-run -s "-screen 0 1024x768x24" build/particles_bench).
// Prints one line per case: milliseconds per frame for the section and for the bare loop.
#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL/SDL.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/random.h"
#include "media_files.h"
#include "resources/spline.h"
#include "resources/texture.h"
#include "script/section.h"
#include "sections/particle_matrix.h"
#include "sections/particle_tex.h"
#include "sections/ray.h"

namespace {

constexpr int FRAMES = 60;

// A spline holding one set of values at every time.
Spline* constant_spline(std::vector<float> values, float duration) {
    auto* spline = new Spline;
    SplineKey key;
    for (size_t i = 0; i < values.size(); ++i) key.values[i] = values[i];
    spline->keys = {key, key};
    spline->key_count = 2;
    spline->channels = static_cast<int>(values.size());
    spline_set_duration(spline, duration);
    return spline;
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

// Milliseconds per frame of `draw`, after one frame to warm up.
template <typename Draw>
double time_frames(Draw&& draw) {
    auto frame = [&](int k) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        view_set();
        draw(k);
        glFinish();
    };
    frame(0);
    const auto start = std::chrono::steady_clock::now();
    for (int k = 1; k <= FRAMES; ++k) frame(k);
    const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / FRAMES;
}

void report(const char* name, double section_ms, double bare_ms) {
    std::printf("%-40s section %8.2f ms/frame   bare loop %8.2f ms/frame   ratio %.2f\n", name, section_ms,
                bare_ms, section_ms / bare_ms);
}

// The same sprites with nothing but the GL calls: positions captured from the section, one
// batch, axes taken as the plain screen axes.
struct BareSprite {
    float x, y, z;
    unsigned char colour[4];
};

void bare_quads(const std::vector<BareSprite>& sprites, float size, GLuint texture) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glBegin(GL_QUADS);
    for (const BareSprite& p : sprites) {
        glColor4ubv(p.colour);
        glTexCoord2f(0, 0);
        glVertex3f(p.x - size, p.y + size, p.z);
        glTexCoord2f(1, 0);
        glVertex3f(p.x + size, p.y + size, p.z);
        glTexCoord2f(1, 1);
        glVertex3f(p.x + size, p.y - size, p.z);
        glTexCoord2f(0, 1);
        glVertex3f(p.x - size, p.y - size, p.z);
    }
    glEnd();
    // The bind cache must not believe its own texture is still bound.
    texture_unbind_all();
}

GLuint bare_texture() {
    GLuint name;
    std::vector<unsigned char> white(8 * 8 * 3, 255);
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gluBuild2DMipmaps(GL_TEXTURE_2D, 3, 8, 8, GL_RGB, GL_UNSIGNED_BYTE, white.data());
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    texture_unbind_all();
    return name;
}

void bench_particle_tex(GLuint bare) {
    Section s;
    s.start = 0;
    s.end = s.duration = 10;
    s.string_count = 2;
    s.strings[0] = "shape.tga";
    s.strings[1] = "sprite.tga";
    const float params[8] = {0.02f, 0.01f, 1, 0, 0, 0, 0.5f, 1};
    s.param_count = 8;
    for (int i = 0; i < 8; ++i) s.params[i] = params[i];
    current_section = &s;
    particle_tex_init();
    const double section_ms = time_frames([&](int k) {
        s.elapsed = static_cast<float>(k) * 0.1f;
        particle_tex_render();
    });
    std::vector<BareSprite> sprites;
    for (const TexParticle& p : static_cast<ParticleImage*>(s.data)->particles) {
        sprites.push_back(
            {p.position[0], p.position[1], p.position[2], {p.colour[0], p.colour[1], p.colour[2], 255}});
    }
    const double bare_ms = time_frames([&](int) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        glDepthMask(GL_FALSE);
        glRotatef(-90, 0, 0, 1);
        bare_quads(sprites, 0.01f, bare);
        glDepthMask(GL_TRUE);
        glDisable(GL_BLEND);
    });
    report("particleTex 256 x 256 shape (65,536)", section_ms, bare_ms);
}

void bench_particle_matrix(GLuint bare) {
    Section s;
    s.start = 0;
    s.end = s.duration = 10;
    s.param_count = 2;
    s.params[0] = 10000;
    s.params[1] = 1;
    s.string_count = 1;
    s.strings[0] = "sprite.tga";
    s.spline_count = 3;
    s.splines[0] = constant_spline({0, -2, 0}, 10);
    s.splines[1] = constant_spline({0.05f, 7, 0.05f, 0.02f}, 10);
    s.splines[2] = constant_spline({1, 0.5f, 0.2f, 1}, 10);
    current_section = &s;
    particle_matrix_init();
    const double section_ms = time_frames([&](int k) {
        s.elapsed = static_cast<float>(k) * 0.1f;
        particle_matrix_render();
    });
    std::vector<BareSprite> sprites;
    for (const Particle& p : static_cast<ParticleSystem*>(s.data)->particles) {
        sprites.push_back({p.position.x, p.position.y, p.position.z, {255, 128, 51, 255}});
    }
    const double bare_ms = time_frames([&](int) {
        glDepthMask(GL_FALSE);
        bare_quads(sprites, 0.02f, bare);
        glDepthMask(GL_TRUE);
    });
    report("particleMatrix of 10,000", section_ms, bare_ms);
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
    current_section = &s;
    ray_init();
    const double section_ms = time_frames([&](int k) {
        s.elapsed = static_cast<float>(k) * 0.1f;
        ray_render();
    });
    // The lines of one frame of the section, drawn again without the walk.
    Ray copy = *static_cast<Ray*>(s.data);
    std::vector<std::array<float, 6>> lines;
    ray_walk(copy, [&](const float* from, const float* to) {
        lines.push_back({from[0], from[1], from[2], to[0], to[1], to[2]});
    });
    const double bare_ms = time_frames([&](int) {
        glDisable(GL_TEXTURE_2D);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        glEnable(GL_BLEND);
        for (const auto& line : lines) {
            for (int k = 0; k < 3; ++k) {
                glLineWidth(static_cast<float>(3 - k));
                glColor4f(0.6f, 0.7f, 1, static_cast<float>(k + 1) / 3);
                glBegin(GL_LINES);
                glVertex3fv(&line[0]);
                glVertex3fv(&line[3]);
                glEnd();
            }
        }
        glLineWidth(1);
        glDisable(GL_BLEND);
        glEnable(GL_TEXTURE_2D);
    });
    report("ray, 8 bolts x 64 segments x 3 layers", section_ms, bare_ms);
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
    std::printf("OpenGL renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));

    random_seed(0, 0);
    const GLuint bare = bare_texture();
    bench_particle_tex(bare);
    bench_particle_matrix(bare);
    bench_ray();

    SDL_Quit();
    std::filesystem::current_path("/");
    std::filesystem::remove_all(dir);
    return 0;
}
