// The "background" section type: one picture over the whole viewport, whatever the camera.
#include <GL/gl.h>

#include <memory>
#include <vector>

#include "base/error.h"
#include "gfx/ortho.h"
#include "resources/texture.h"
#include "script/section.h"
#include "sections/section_blend.h"
#include "sections/demo.h"
#include "sections/section_files.h"

namespace {

struct Background {
    float rect[4] = {0, 0, 1, 1};
    float vertices[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    // Texture row 0, the picture's first row, goes to the top of the screen.
    float texcoords[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    int texture = -1;
};

void background_check(const Section& s, const SectionTypes&, bool files) {
    if (s.param_count != 0) fatal_error("background: no floats needed");
    if (s.string_count != 1) fatal_error("background: one string needed");
    if (s.spline_count != 0) fatal_error("background: no splines needed");
    if (files) section_texture_check(s, 0);
}

void background_init(Section& section_, Frame& f) {
    Section* s = &section_;
    background_check(*s, f.demo.types, false);
    Background* bg = demo_record_new<Background>(f.demo);
    s->data = bg;
    bg->texture = section_texture_load(f.demo, *s, 0);
    texture_set_flags(bg->texture, TEX_CLAMP);
    texture_upload(bg->texture);
}

void background_render(Section& s, Frame&) {
    const Background& bg = *static_cast<const Background*>(s.data);

    // Depth testing is off while drawing, so the picture writes no depths.
    glDisable(GL_DEPTH_TEST);
    section_blend_alpha_begin(s);
    ortho_begin();
    texture_bind(bg.texture);
    glBegin(GL_QUADS);
    for (int i = 0; i < 4; ++i) {
        glTexCoord2fv(bg.texcoords[i]);
        glVertex2fv(bg.vertices[i]);
    }
    glEnd();
    ortho_end();
    section_blend_alpha_end(s);
    glEnable(GL_DEPTH_TEST);
}

}  // namespace

extern const SectionType background_type = {"background",      section_noop, background_init, section_noop,
                                            background_render, section_noop, background_check};
