// The "efxDeform" section type: copies the frame into the effect texture and redraws it
// through OpenGL's two-dimensional evaluators as a sheet pulled about by splines.
#include "effects/deform.h"

#include <GL/gl.h>

#include <algorithm>

#include "core/error.h"
#include "resources/spline.h"
#include "script/section.h"

void deform_check_params(int param_count, const float* params, int max_order) {
    if (param_count != 3) fatal_error("Three floats needed in deform effect");
    // The grid keeps n in eight bits, and OpenGL refuses orders above its limit.
    const int top = std::min(max_order, 255);
    // Compared as floats so that huge or non-numbers never reach an integer conversion.
    if (!(params[0] >= 2.0f && params[0] < static_cast<float>(top) + 1.0f)) {
        fatal_error("2 to %d control points needed in deform effect", top);
    }
    if (!(params[1] >= 1.0f && params[1] < 256.0f) || !(params[2] >= 1.0f && params[2] < 256.0f)) {
        fatal_error("1 to 255 mesh steps needed in deform effect");
    }
}

void deform_check_spline(const Spline* spline, const char* name) {
    if (spline == nullptr || spline->channels < DEFORM_SPLINE_CHANNELS) {
        fatal_error("Five channels needed in deform spline '%s'", name);
    }
}

void deform_grid_init(DeformGrid& grid, const float* params, int width, int height, uint16_t mode) {
    grid.order = static_cast<uint8_t>(static_cast<int>(params[0]));
    grid.mesh_u = static_cast<uint8_t>(static_cast<int>(params[1]));
    grid.mesh_v = static_cast<uint8_t>(static_cast<int>(params[2]));
    grid.mode = mode;
    const int n = grid.order;
    const int dx = width / (n - 1);
    const int dy = height / (n - 1);
    grid.rest.assign(static_cast<size_t>(n) * n * 3, 0.0f);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            float* p = &grid.rest[static_cast<size_t>(n * i + j) * 3];
            p[0] = static_cast<float>(i * dx);
            p[1] = static_cast<float>(j * dy);
            p[2] = 0.0f;
        }
    }
    grid.current = grid.rest;
}

int deform_point_index(const DeformGrid& grid, float column, float row) {
    const float n = grid.order;
    // Truncation toward zero maps (-1, n) onto 0 .. n - 1; anything else (NaN too) is outside.
    if (!(column > -1.0f && column < n) || !(row > -1.0f && row < n)) return -1;
    return grid.order * static_cast<int>(column) + static_cast<int>(row);
}

bool deform_grid_move(DeformGrid& grid, const float* values) {
    const int k = deform_point_index(grid, values[0], values[1]);
    if (k < 0) return false;
    const float* rest = &grid.rest[static_cast<size_t>(k) * 3];
    float* cur = &grid.current[static_cast<size_t>(k) * 3];
    for (int c = 0; c < 3; ++c) cur[c] = rest[c] + values[2 + c];
    return true;
}

// Callbacks come with the type's implementation; until then every slot is the shared no-op.
extern const SectionType efx_deform_type = {"efxDeform",  section_noop, section_noop,
                                            section_noop, section_noop, section_noop};
