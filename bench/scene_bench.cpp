// Mesh drawing speed at 800 x 600: an object of about 50,000 faces in "Shaded" mode and an
// objectMatrix of 100 copies of a 1,000-face mesh in "Environment" mode, each against the same
// triangles sent by a bare immediate-mode loop, in alternating rounds (table rows, bench/rounds.h).
// Needs an X display (for example a virtual one: Xvfb :9 & DISPLAY=:9 build/scene_bench).
#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL/SDL.h>

#include <memory>
#include <cstdio>
#include <string>
#include <vector>

#include "resources/mesh.h"
#include "runtime/registry.h"
#include "rounds.h"
#include "mesh_writer.h"
#include "resources/spline.h"
#include "resources/texture.h"
#include "script/section.h"
#include "sections/demo.h"
#include "sections/object.h"
#include "sections/transform.h"

namespace {

constexpr int WIDTH = 800, HEIGHT = 600;

Mesh torus(int rings, int sides) {
    std::string bytes = mesh_write_3ds({}, {mesh_draft_torus("t", 1.5f, 0.5f, rings, sides, "")});
    Mesh mesh;
    mesh_parse(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), "", mesh, nullptr);
    mesh_compute_normals(mesh);
    return mesh;
}

// Milliseconds per frame of `draw`, after a warm-up frame.
template <typename Fn>
double frame_ms(Fn&& draw) {
    auto frame = [&](int) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        draw();
        glFinish();
        SDL_GL_SwapBuffers();
    };
    frame(0);
    return rounds::ms_per_call(frame);
}

// The mesh's faces as normal and position per corner, ready for a bare loop.
std::vector<float> corner_stream(const Mesh& mesh) {
    std::vector<float> out;
    for (const MeshObject& o : mesh.objects) {
        for (const MeshFace& f : o.faces) {
            for (uint16_t c : f.corners) {
                out.insert(out.end(), o.vertices[c].normal, o.vertices[c].normal + 3);
                out.insert(out.end(), o.vertices[c].position, o.vertices[c].position + 3);
            }
        }
    }
    return out;
}

void bare_triangles(const std::vector<float>& stream) {
    glBegin(GL_TRIANGLES);
    for (size_t i = 0; i < stream.size(); i += 6) {
        glNormal3fv(&stream[i]);
        glVertex3fv(&stream[i + 3]);
    }
    glEnd();
}

std::unique_ptr<Spline> one_key(std::initializer_list<float> values) {
    auto s = std::make_unique<Spline>();
    s->keys.resize(1);
    int i = 0;
    for (float v : values) s->keys[0].values[i++] = v;
    s->channels = i;
    s->key_count = 1;
    s->duration = 1;
    return s;
}

template <typename A, typename B>
void compare(const char* label, A&& section_draw, B&& bare_draw) {
    rounds::compare(
        label, rounds::ms_per_frame, 5, [&] { return frame_ms(section_draw); },
        [&] { return frame_ms(bare_draw); });
}

}  // namespace

int main() {
    if (SDL_Init(SDL_INIT_VIDEO) != 0 || SDL_SetVideoMode(WIDTH, HEIGHT, 0, SDL_OPENGL) == nullptr) {
        std::fprintf(stderr, "no GL window: %s\n", SDL_GetError());
        return 1;
    }
    glViewport(0, 0, WIDTH, HEIGHT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(60, static_cast<double>(WIDTH) / HEIGHT, 0.1, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0, 3, 6, 0, 0, 0, 0, 1, 0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_TEXTURE_2D);

    // One object of 160 x 156 x 2 = 49,920 faces in "Shaded" mode.
    Mesh big = torus(160, 156);
    ObjectState shaded;
    shaded.mesh = &big;
    shaded.render_mode = OBJECT_SHADED;
    Section object;
    object.duration = 1;
    object.param_count = 7;
    float object_params[7] = {1, 0, 1, 0.8f, 0.6f, 1, 1};
    for (int i = 0; i < 7; ++i) object.params[i] = object_params[i];
    object.data = &shaded;
    Demo demo(section_types);
    Frame f = demo_frame(demo);
    std::vector<float> big_stream = corner_stream(big);
    compare(
        "object, Shaded, 49,920 faces", [&] { object_render(object, f); },
        [&] {
            glColor4f(1, 0.8f, 0.6f, 1);
            glShadeModel(GL_SMOOTH);
            bare_triangles(big_stream);
            glShadeModel(GL_FLAT);
        });

    // 100 copies of a 25 x 20 x 2 = 1,000-face torus, sphere-mapped.
    Mesh small = torus(25, 20);
    int env = texture_create(64, 64, GL_RGB, 3);
    texture_upload(env);
    ObjectMatrixState copies;
    copies.mesh = &small;
    copies.texture = env;
    auto base = one_key({0.3f, 0.3f, 0.3f, 0, 0, 0, -3, 0, -2});
    auto step = one_key({1, 1, 1, 0, 7, 0, 0.06f, 0, 0.04f});
    Section matrix;
    matrix.duration = 1;
    matrix.string_count = 4;
    matrix.strings[3] = "Environment";
    matrix.param_count = 5;
    matrix.params[0] = 100;
    matrix.spline_count = 2;
    matrix.splines[0] = base.get();
    matrix.splines[1] = step.get();
    matrix.data = &copies;
    std::vector<float> small_stream = corner_stream(small);
    float base_ch[16] = {}, step_ch[16] = {};
    spline_eval(base.get(), base_ch, 0);
    spline_eval(step.get(), step_ch, 0);
    Matrix4 base_m = transform_trs_matrix(base_ch), step_m = transform_trs_matrix(step_ch);
    compare(
        "objectMatrix, Environment, 100 x 1,000 faces", [&] { object_matrix_render(matrix, f); },
        [&] {
            texture_bind(env);
            glEnable(GL_TEXTURE_GEN_S);
            glEnable(GL_TEXTURE_GEN_T);
            glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
            glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
            glPushMatrix();
            glMultMatrixf(base_m.m);
            for (int i = 0; i < 100; ++i) {
                bare_triangles(small_stream);
                glMultMatrixf(step_m.m);
            }
            glPopMatrix();
            glDisable(GL_TEXTURE_GEN_S);
            glDisable(GL_TEXTURE_GEN_T);
        });

    matrix.splines[0] = matrix.splines[1] = nullptr;
    SDL_Quit();
    return 0;
}
