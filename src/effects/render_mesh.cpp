// The "efxRenderMesh" section type: each frame lays the previous capture over the frame,
// captures the result and redraws it through a distorted grid, so distortions accumulate.
#include "effects/render_mesh.h"

#include <cmath>
#include <numbers>

#include "script/section.h"

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

// Callbacks come with the type's implementation; until then every slot is the shared no-op.
extern const SectionType efx_render_mesh_type = {"efxRenderMesh", section_noop, section_noop,
                                                 section_noop,    section_noop, section_noop};
