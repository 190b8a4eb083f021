// The "efxDeform" section type: copies the frame into the effect texture and redraws it
// through OpenGL's two-dimensional evaluators as a sheet pulled about by splines.
#include "effects/deform.h"

#include <GL/gl.h>

#include <algorithm>

#include "base/error.h"
#include "gfx/window.h"
#include "gfx/camera.h"
#include "resources/texture.h"
#include "resources/spline.h"
#include "script/section.h"
#include "sections/section_blend.h"
#include "sections/demo.h"

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
    if (spline != nullptr && spline->channels < DEFORM_SPLINE_CHANNELS) {
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

namespace {

// What the type keeps for all its sections: the camera that sees the plane z = 0 from x 0 to
// gl_width and y 0 to gl_height, one world unit to a screen pixel.
struct DeformShared {
    Camera camera;
};

// Texture corners in the order the evaluator reads them: s follows v (screen x), t follows u.
const float kTextureCorners[8] = {0, 0, 0, 1, 1, 0, 1, 1};

// Also reached through efxRepeat, which may call it after the load phase already has: the
// camera is set only once for a demo.
void deform_prepare(Section&, Frame& f) {
    bool made = false;
    Camera* camera = &demo_type_state<DeformShared>(f.demo, &made).camera;
    if (!made) return;
    const float w = static_cast<float>(window_settings().gl_width);
    const float h = static_cast<float>(window_settings().gl_height);
    camera_set_target(camera, w / 2, h / 2, 0);
    camera_set_position(camera, w / 2, h / 2, h / 2);
    camera_set_rotation(camera, 0, 0, 0);
    camera_set_fov(camera, 90, w / h);
    camera_set_clip(camera, 0.1f, 500);
}

// Without GL the driver's limit on control points is not known: the grid's own holds.
void deform_check(const Section& s, const SectionTypes&, bool) {
    {
        ErrorPlace place = s.param_count == 3 ? section_at_param(s, 0) : section_at(s);
        deform_check_params(s.param_count, s.params, 255);
    }
    for (int i = 0; i < s.spline_count; ++i) {
        ErrorPlace place = section_at_spline(s, i);
        deform_check_spline(s.splines[i], s.spline_names[i].c_str());
    }
}

void deform_init(Section& s, Frame& f) {
    deform_check(s, f.demo.types, false);
    GLint max_order = 0;
    glGetIntegerv(GL_MAX_EVAL_ORDER, &max_order);
    {
        ErrorPlace place = section_at_param(s, 0);
        deform_check_params(s.param_count, s.params, max_order);
    }
    DeformGrid* grid = demo_record_new<DeformGrid>(f.demo);
    deform_grid_init(*grid, s.params, window_settings().gl_width, window_settings().gl_height, GL_FILL);
    s.data = grid;
}

void deform_render(Section& s, Frame& f) {
    DeformGrid& grid = *static_cast<DeformGrid*>(s.data);
    const int n = grid.order;
    section_blend_begin(s);
    texture_bind(effect_texture);
    frame_copy_to_texture();
    // Loaded, not pushed: the deform camera's matrices stay for whatever draws next.
    Camera* camera = &demo_type_state<DeformShared>(f.demo).camera;
    perspective_set(camera);
    camera_apply(camera);
    for (int i = 0; i < s.spline_count; ++i) {
        float values[SPLINE_MAX_CHANNELS] = {};
        spline_eval(s.splines[i], values, s.elapsed);
        deform_grid_move(grid, values);
    }
    glMap2f(GL_MAP2_VERTEX_3, 0, 1, 3, n, 0, 1, 3 * n, n, grid.current.data());
    glMap2f(GL_MAP2_TEXTURE_COORD_2, 0, 1, 2, 2, 0, 1, 4, 2, kTextureCorners);
    glEnable(GL_MAP2_TEXTURE_COORD_2);
    glEnable(GL_MAP2_VERTEX_3);
    glMapGrid2f(grid.mesh_u, 0, 1, grid.mesh_v, 0, 1);
    glEvalMesh2(grid.mode, 0, grid.mesh_u, 0, grid.mesh_v);
    glDisable(GL_MAP2_VERTEX_3);
    glDisable(GL_MAP2_TEXTURE_COORD_2);
    section_blend_end(s);
}

}  // namespace

extern const SectionType efx_deform_type = {"efxDeform",   deform_prepare, deform_init, section_noop,
                                            deform_render, section_noop,   deform_check};
