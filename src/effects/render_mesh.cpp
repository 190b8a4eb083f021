// The "efxRenderMesh" section type: each frame lays the previous capture over the frame,
// captures the result and redraws it through a distorted grid, so distortions accumulate.
#include "effects/render_mesh.h"

#include <cmath>
#include <numbers>

#include <GL/gl.h>

#include "gfx/ortho.h"
#include "gfx/window.h"
#include "resources/texture.h"
#include "script/section.h"
#include "sections/section_blend.h"
#include "sections/demo.h"

namespace {

constexpr double kPi = std::numbers::pi;
// The wave mode's factor, close to pi / 10 but not equal to it in any precision.
constexpr double kWaveFactor = 0.3141592700403172;

// (s, t) of grid point (i, j) for one mode; s0, t0 are the undistorted coordinates.
void mesh_point(int mode, int i, int j, double T, double g, double& s, double& t) {
    const int n = RENDER_MESH_POINTS;
    const double half = n / 2.0;  // 10.5
    const int mid = n / 2;        // 10
    const double s0 = static_cast<double>(i) / RENDER_MESH_CELLS;
    const double t0 = static_cast<double>(j) / RENDER_MESH_CELLS;
    const double m = static_cast<double>(i) * j;
    s = s0;
    t = t0;
    switch (mode) {
        case 0:  // shift
            s = s0 + 0.01;
            t = t0 + 0.01;
            break;
        case 1:  // zoom
            s = s0 + (i - half) * 0.001;
            t = t0 + (j - half) * 0.001;
            break;
        case 2:  // warp
            s = s0 * std::cos(kPi * (i + j - n) / 50.0);
            t = t0 * std::cos(kPi * (i - j) / 100.0);
            break;
        case 3: {  // swirl
            const double s1 = s0 + (i - half) * 0.003 - 0.5;
            const double t1 = t0 + (j - half) * 0.003 - 0.5;
            const double ci = std::cos(kPi * (i - mid) / 32.0 + kPi / 32.0);
            const double sj = std::sin(kPi * (j - mid) / 32.0 + kPi / 32.0);
            s = ci * s1 - sj * t1 + 0.5;
            t = sj * s1 + ci * t1 + 0.5;
            break;
        }
        case 4: {  // twirl
            const double s1 = s0 - 0.5;
            const double t1 = t0 - 0.5;
            const double theta = kPi * std::sqrt((j - half) * (j - half) + (i - half) * (i - half)) / 64.0;
            s = std::cos(theta) * s1 - std::sin(theta) * t1 + 0.5;
            t = std::sin(theta) * s1 + std::cos(theta) * t1 + 0.5;
            break;
        }
        case 5:  // shimmer
            s = s0 + 0.02 * std::sin(g * n * i * j / kPi);
            t = t0 + 0.02 * std::tan(g * m * 0.01);
            break;
        case 6:  // wave
            s = s0 + 0.02 * std::sin(i * std::sin(kPi * T) * kWaveFactor);
            t = t0 + 0.02 * std::cos(j * std::cos(kPi * T) * kWaveFactor);
            break;
        case 7:  // pulse
            t = t0 + 0.01 * std::log(std::cos(2.0 * kPi * T) + 1.0);
            break;
        case 8:  // ripple
            s = s0 + 0.01 * std::cos(g * n * i * j / kPi);
            t = t0 + 0.01 * std::cos(g * std::log(m + 2.0) * 0.01);
            break;
        default:
            break;
    }
    if (!std::isfinite(s)) s = s0;
    if (!std::isfinite(t)) t = t0;
}

}  // namespace

void render_mesh_grid_update(RenderMesh& mesh, int mode, float elapsed) {
    const double T = elapsed;
    const double g = static_cast<float>(T + 100.0);
    for (int i = 0; i < RENDER_MESH_POINTS; ++i) {
        for (int j = 0; j < RENDER_MESH_POINTS; ++j) {
            double* p = mesh.grid[RENDER_MESH_POINTS * i + j];
            mesh_point(mode, i, j, T, g, p[0], p[1]);
        }
    }
}

namespace {

// params[0] truncated; a value no integer can hold picks no formula.
int32_t mode_of(float value) {
    if (!(value > -2147483648.0f && value < 2147483648.0f)) return -1;
    return static_cast<int32_t>(value);
}

void render_mesh_init(Section& s, Frame& f) {
    RenderMesh* mesh = demo_record_new<RenderMesh>(f.demo);
    mesh->texture = texture_create(window_settings().gl_rttWidth, window_settings().gl_rttHeight, GL_RGB, 3);
    texture_set_flags(mesh->texture, TEX_NO_MIPMAP | TEX_CLAMP | TEX_MODULATE);
    texture_upload(mesh->texture);
    mesh->mode = mode_of(s.params[0]);
    mesh->primed = 0;
    s.data = mesh;
}

void render_mesh_start(Section& s, Frame&) {
    static_cast<RenderMesh*>(s.data)->primed = 0;
}

void mesh_draw(const RenderMesh& mesh) {
    auto vertex = [&](int i, int j) {
        const double* st = mesh.grid[RENDER_MESH_POINTS * i + j];
        glTexCoord2d(st[0], st[1]);
        glVertex2f(static_cast<float>(i) / RENDER_MESH_CELLS, static_cast<float>(j) / RENDER_MESH_CELLS);
    };
    glBegin(GL_QUADS);
    for (int i = 0; i < RENDER_MESH_CELLS; ++i) {
        for (int j = 0; j < RENDER_MESH_CELLS; ++j) {
            vertex(i, j);
            vertex(i + 1, j);
            vertex(i + 1, j + 1);
            vertex(i, j + 1);
        }
    }
    glEnd();
}

void render_mesh_render(Section& s, Frame&) {
    RenderMesh& mesh = *static_cast<RenderMesh*>(s.data);
    render_mesh_grid_update(mesh, mesh.mode, s.elapsed);
    glDisable(GL_DEPTH_TEST);
    section_blend_begin(s);
    ortho_begin();
    glColor4f(1, 1, 1, s.params[1] + (s.params[2] - s.params[1]) * s.elapsed / s.duration);
    texture_bind(mesh.texture);
    // The first frame after a start has no earlier capture to lay down.
    if (mesh.primed) {
        fullscreen_quad_textured();
    } else {
        mesh.primed = 1;
    }
    frame_copy_to_texture();
    const bool keep = s.params[3] != 0;
    glClear(keep ? GL_DEPTH_BUFFER_BIT : GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    mesh_draw(mesh);
    if (keep) frame_copy_to_texture();
    ortho_end();
    section_blend_end(s);
    glEnable(GL_DEPTH_TEST);
}

}  // namespace

extern const SectionType efx_render_mesh_type = {"efxRenderMesh",   section_noop,       render_mesh_init,
                                                 render_mesh_start, render_mesh_render, section_noop,
                                                 section_check_none};
