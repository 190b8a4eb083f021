// The "objectMatrix" section type: copies of a mesh, each under one more step transform than the
// last, sphere-mapped with an environment image or in one plain colour.
#include <GL/gl.h>

#include <cstring>
#include <memory>
#include <vector>

#include "base/error.h"
#include "gfx/free_camera.h"
#include "resources/mesh.h"
#include "resources/texture.h"
#include "script/section.h"
#include "sections/section_blend.h"
#include "sections/demo.h"
#include "sections/mesh_draw.h"
#include "sections/object.h"
#include "sections/section_files.h"
#include "sections/transform.h"

void object_matrix_check(const Section& s, const SectionTypes&, bool files) {
    if (s.string_count < 4) fatal_error("objectMatrix: four strings needed");
    bool color = s.strings[3] == "Color";
    if (color && s.param_count < 5) fatal_error("objectMatrix: five floats needed");
    if (s.param_count < 1) fatal_error("objectMatrix: one float needed");
    if (s.spline_count < 2) fatal_error("objectMatrix: two splines needed");
    spline_require_channels(s, "objectMatrix", 0, TRANSFORM_CHANNELS);
    spline_require_channels(s, "objectMatrix", 1, TRANSFORM_CHANNELS);
    if (files) {
        section_mesh_check(s, 1, 2);
        section_texture_check(s, 0);
    }
}

void object_matrix_init(Section& s, Frame& f) {
    object_matrix_check(s, f.demo.types, false);
    ObjectMatrixState* state = demo_record_new<ObjectMatrixState>(f.demo);
    s.data = state;
    state->mesh = section_mesh_load(f.demo, s, 1, 2);
    state->texture = section_texture_load(f.demo, s, 0);
    texture_upload(state->texture);
}

void object_matrix_render(Section& s, Frame& f) {
    const ObjectMatrixState& state = *static_cast<ObjectMatrixState*>(s.data);
    bool environment = s.strings[3] == "Environment";
    bool color = s.strings[3] == "Color";
    bool depth_off = color && s.params[4] == 1.0f;

    section_blend_begin(s);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    if (environment || color) {
        if (color) {
            glDisable(GL_TEXTURE_2D);
            glColor4f(s.params[1], s.params[2], s.params[3], 1);
            if (depth_off) glDisable(GL_DEPTH_TEST);
        }
        float base[16] = {}, step[16] = {};
        spline_channels(s, s.elapsed, 0, base);
        spline_channels(s, s.elapsed, 1, step);
        for (const MatrixCopy& copy :
             matrix_copies(transform_trs_matrix(base), transform_trs_matrix(step), s.params[0], s.elapsed)) {
            glPushMatrix();
            glMultMatrixf(copy.transform.m);
            debug_axes(f.demo.settings.debug != 0);
            if (environment) {
                texture_bind(state.texture);
                mesh_draw_sphere_st(*state.mesh, 1);
            } else {
                mesh_draw_plain(*state.mesh, 1);
            }
            glPopMatrix();
        }
        if (color) {
            if (depth_off) glEnable(GL_DEPTH_TEST);
            glEnable(GL_TEXTURE_2D);
        }
    }
    glPopMatrix();
    section_blend_end(s);
}

extern const SectionType object_matrix_type = {"objectMatrix",     section_noop,         object_matrix_init,
                                               section_noop,       object_matrix_render, section_noop,
                                               object_matrix_check};
