// The "macroBox" section type.
#include "sections/macro_box.h"

#include <GL/gl.h>

#include <memory>
#include <vector>

#include "base/error.h"
#include "resources/texture.h"
#include "script/section.h"
#include "sections/section_blend.h"
#include "sections/demo.h"
#include "sections/particles.h"
#include "sections/section_files.h"

namespace {
constexpr float SKY_BOX_CORNERS[8][3] = {
    {10, -10, 10}, {10, -10, -10}, {-10, -10, -10}, {-10, -10, 10},
    {10, 10, 10},  {10, 10, -10},  {-10, 10, -10},  {-10, 10, 10},
};

// Corners of each face in drawing order: y = -10, y = 10, x = -10, x = 10, z = 10, z = -10.
constexpr int SKY_BOX_FACES[6][4] = {
    {2, 1, 0, 3}, {5, 6, 7, 4}, {6, 2, 3, 7}, {1, 5, 4, 0}, {0, 4, 7, 3}, {2, 6, 5, 1},
};

constexpr float SKY_BOX_S[4] = {1, 0, 0, 1};
constexpr float SKY_BOX_T[4] = {1, 1, 0, 0};
}  // namespace

void sky_box_fill(SkyBox& box, int texture) {
    for (int i = 0; i < 8; ++i) {
        box.corners[i] = {SKY_BOX_CORNERS[i][0], SKY_BOX_CORNERS[i][1], SKY_BOX_CORNERS[i][2]};
    }
    for (int f = 0; f < 6; ++f) {
        SkyBoxFace& face = box.faces[f];
        for (int k = 0; k < 4; ++k) {
            face.corners[k] = SKY_BOX_FACES[f][k];
            face.s[k] = SKY_BOX_S[k];
            face.t[k] = SKY_BOX_T[k];
        }
        face.texture = texture;
    }
}

float macro_box_layer_angle(int i, float elapsed) {
    return static_cast<float>(26 * i) + elapsed;
}

SkyBox* sky_box_new(Demo& demo, const char* path) {
    SkyBox* box = demo_record_new<SkyBox>(demo);
    const int texture = texture_load(path, demo.settings.texture_detail, &demo.pool);
    // One level and clamped edges: no seams where the faces meet.
    texture_set_flags(texture, TEX_NO_MIPMAP | TEX_CLAMP);
    sky_box_fill(*box, texture);
    return box;
}

void sky_box_upload(const SkyBox& box) {
    texture_upload(box.faces[0].texture);
}

void sky_box_draw(const SkyBox& box, const Camera& camera) {
    glDepthMask(GL_FALSE);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslatef(camera.position.x, camera.position.y, camera.position.z);
    glRotatef(270, 1, 0, 0);
    texture_bind(box.faces[0].texture);
    for (const SkyBoxFace& face : box.faces) {
        glBegin(GL_QUADS);
        for (int k = 0; k < 4; ++k) {
            glTexCoord2f(face.s[k], face.t[k]);
            glVertex3fv(&box.corners[face.corners[k]].x);
        }
        glEnd();
    }
    glPopMatrix();
    glDepthMask(GL_TRUE);
}

void macro_box_check(const Section& section, const SectionTypes&, bool files) {
    if (section.param_count != 3) fatal_error("macroBox: three params needed");
    if (section.string_count != 1) fatal_error("macroBox: one string needed");
    if (truncate_to_int(section.params[0]) > MACRO_BOX_MAX_LAYERS) {
        ErrorPlace place = section_at_param(section, 0);
        fatal_error("macroBox: too many layers");
    }
    if (files) section_texture_check(section, 0);
}

void macro_box_init(Section& section, Frame& f) {
    macro_box_check(section, f.demo.types, false);
    MacroBox& macro = *demo_record_new<MacroBox>(f.demo);
    section.data = &macro;
    {
        ErrorPlace place = section_at_string(section, 0);
        macro.box = sky_box_new(f.demo, section.strings[0].c_str());
        sky_box_upload(*macro.box);
    }
    macro.layers = truncate_to_int(section.params[0]);
    macro.alpha_from = section.params[1];
    macro.alpha_to = section.params[2];
}

void macro_box_render(Section& section, Frame& f) {
    const MacroBox& macro = *static_cast<MacroBox*>(section.data);
    const float t = section.elapsed / section.duration;
    if (f.camera == nullptr) fatal_error("macroBox: no camera");
    section_blend_alpha_begin(section);
    glColor4f(0, 0, 0, macro.alpha_from + (macro.alpha_to - macro.alpha_from) * t);
    for (int i = 0; i < macro.layers; ++i) {
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glRotatef(macro_box_layer_angle(i, section.elapsed), 1, 2, 0);
        sky_box_draw(*macro.box, *f.camera);
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
    }
    perspective_set(f.camera);
    camera_apply(f.camera);
    section_blend_alpha_end(section);
}

extern const SectionType macro_box_type = {"macroBox",       section_noop, macro_box_init, section_noop,
                                           macro_box_render, section_noop, macro_box_check};
