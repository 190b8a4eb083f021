// The "object" section type: a 3DS mesh in one of seven render modes, placed by any number of
// transform splines and optionally built up face by face over the section's time.
#include "sections/object.h"

#include <GL/gl.h>

#include <cstring>
#include <memory>
#include <vector>

#include "base/error.h"
#include "resources/mesh.h"
#include "resources/texture.h"
#include "script/section.h"
#include "sections/section_blend.h"
#include "sections/demo.h"
#include "sections/mesh_draw.h"
#include "sections/section_files.h"
#include "sections/transform.h"

namespace {

const char* const MODE_NAMES[] = {"Wireframe", "Color", "Flat", "Shaded", "Texture", "Environment", "Cell"};

}  // namespace

int object_render_mode_find(const char* name) {
    for (int i = 0; i < 7; ++i) {
        if (std::strcmp(MODE_NAMES[i], name) == 0) return i + 1;
    }
    return 0;
}

float object_built_fraction(const Section& s) {
    return s.params[5] + (s.params[6] - s.params[5]) * s.elapsed / s.duration;
}

float object_line_width(float width) {
    return width > 0 ? width : 1.0f;
}

void object_check(const Section& s, const SectionTypes&, bool files) {
    if (s.string_count < 3) fatal_error("object: three strings needed");
    int mode = object_render_mode_find(s.strings[0].c_str());
    if (mode == 0) {
        ErrorPlace place = section_at_string(s, 0);
        fatal_error("object: unknown render mode");
    }
    bool mapped = mode == OBJECT_ENVIRONMENT || mode == OBJECT_CELL;
    if (mapped && s.string_count < 4) fatal_error("object: four strings needed");
    if (s.param_count < 7) fatal_error("object: seven floats needed");
    for (int i = 0; i < s.spline_count; ++i) spline_require_channels(s, "object", i, TRANSFORM_CHANNELS);
    if (files) {
        section_mesh_check(s, 1, 2);
        if (mapped) section_texture_check(s, 3);
    }
}

void object_init(Section& s, Frame& f) {
    object_check(s, f.demo.types, false);
    int mode = object_render_mode_find(s.strings[0].c_str());
    ObjectState* state = demo_record_new<ObjectState>(f.demo);
    s.data = state;
    state->render_mode = mode;
    state->mesh = section_mesh_load(f.demo, s, 1, 2);
    if (mode == OBJECT_TEXTURE) {
        mesh_upload_textures(*state->mesh);
    } else if (mode == OBJECT_ENVIRONMENT) {
        state->texture = section_texture_load(f.demo, s, 3);
        texture_upload(state->texture);
    } else if (mode == OBJECT_CELL) {
        // A ramp of one level: without mipmaps the 1D texture is complete under its filter.
        state->texture = section_texture_load(f.demo, s, 3);
        texture_set_flags(state->texture, TEX_1D | TEX_NO_MIPMAP);
        texture_upload(state->texture);
    }
}

void object_render(Section& s, Frame&) {
    const ObjectState& state = *static_cast<ObjectState*>(s.data);
    const Mesh& mesh = *state.mesh;
    bool option = s.params[1] == 1.0f;
    float line_width = object_line_width(s.params[0]);

    section_blend_begin(s);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    for (int i = 0; i < s.spline_count; ++i) spline_transform_srt(s, s.elapsed, i);
    glColor4f(s.params[2], s.params[3], s.params[4], 1);
    float f = object_built_fraction(s);

    switch (state.render_mode) {
        case OBJECT_WIREFRAME:
            glDisable(GL_TEXTURE_2D);
            if (option) {
                glEnable(GL_CULL_FACE);
                glCullFace(GL_BACK);
            }
            glLineWidth(line_width);
            glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
            mesh_draw_flat(mesh, f);
            glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
            glLineWidth(1);
            if (option) glDisable(GL_CULL_FACE);
            glEnable(GL_TEXTURE_2D);
            break;
        case OBJECT_COLOR:
            glDisable(GL_TEXTURE_2D);
            if (option) glDisable(GL_DEPTH_TEST);
            mesh_draw_plain(mesh, f);
            if (option) glEnable(GL_DEPTH_TEST);
            glEnable(GL_TEXTURE_2D);
            break;
        case OBJECT_FLAT:
            glShadeModel(GL_FLAT);
            mesh_draw_flat(mesh, f);
            break;
        case OBJECT_SHADED:
            glShadeModel(GL_SMOOTH);
            mesh_draw_smooth(mesh, f);
            glShadeModel(GL_FLAT);
            break;
        case OBJECT_TEXTURE:
            mesh_draw_textured(mesh, f);
            break;
        case OBJECT_ENVIRONMENT:
            texture_bind(state.texture);
            mesh_draw_sphere_st(mesh, f);
            break;
        case OBJECT_CELL:
            glDisable(GL_TEXTURE_2D);
            glEnable(GL_TEXTURE_1D);
            texture_unbind_all();
            texture_bind(state.texture);
            mesh_draw_sphere_s(mesh, f);
            texture_unbind_all();
            glDisable(GL_TEXTURE_1D);
            glEnable(GL_TEXTURE_2D);
            if (option) {
                glDisable(GL_TEXTURE_2D);
                glEnable(GL_CULL_FACE);
                glCullFace(GL_BACK);
                glPolygonMode(GL_FRONT, GL_LINE);
                glLineWidth(line_width);
                mesh_draw_plain(mesh, f);
                glLineWidth(1);
                glPolygonMode(GL_FRONT, GL_FILL);
                glDisable(GL_CULL_FACE);
                glEnable(GL_TEXTURE_2D);
            }
            break;
        default:
            break;
    }

    glPopMatrix();
    section_blend_end(s);
}

extern const SectionType object_type = {"object",      section_noop, object_init, section_noop,
                                        object_render, section_noop, object_check};
