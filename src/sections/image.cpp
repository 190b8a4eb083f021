// The "image" section type: one textured quad placed by a transform spline every frame.
#include "sections/image.h"

#include <GL/gl.h>

#include <memory>
#include <vector>

#include "base/error.h"
#include "resources/texture.h"
#include "script/section.h"
#include "sections/section_blend.h"
#include "sections/demo.h"
#include "sections/section_files.h"
#include "sections/transform.h"

void image_quad_build(ImageQuad& quad, int texture, float w, float h) {
    const float texcoords[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const float vertices[4][3] = {
        {-w / 2, h / 2, 0}, {w / 2, h / 2, 0}, {w / 2, -h / 2, 0}, {-w / 2, -h / 2, 0}};
    for (int i = 0; i < 4; ++i) {
        for (int k = 0; k < 2; ++k) quad.texcoords[i][k] = texcoords[i][k];
        for (int k = 0; k < 3; ++k) quad.vertices[i][k] = vertices[i][k];
    }
    quad.texture = texture;
}

void image_quad_draw(const ImageQuad& quad) {
    texture_bind(quad.texture);
    glBegin(GL_QUADS);
    for (int i = 0; i < 4; ++i) {
        glTexCoord2fv(quad.texcoords[i]);
        glVertex3fv(quad.vertices[i]);
    }
    glEnd();
}

ImageQuad* image_quad_finish(Demo& demo, int texture, int flags) {
    ImageQuad* quad = demo_record_new<ImageQuad>(demo);
    texture_set_flags(texture, flags);
    texture_upload(texture);
    const Texture* t = texture_get(texture);
    image_quad_build(*quad, texture, static_cast<float>(t->width), static_cast<float>(t->height));
    return quad;
}

void image_check(const Section& s, const SectionTypes&, bool files) {
    if (s.param_count != 0) fatal_error("image: no floats needed");
    if (s.string_count != 1) fatal_error("image: one string needed");
    if (s.spline_count != 1) fatal_error("image: one spline needed");
    spline_require_channels(s, "image", 0, TRANSFORM_CHANNELS);
    if (files) section_texture_check(s, 0);
}

void image_init(Section& s, Frame& f) {
    image_check(s, f.demo.types, false);
    s.data = image_quad_finish(f.demo, section_texture_load(f.demo, s, 0), TEX_CLAMP);
}

void image_render(Section& s, Frame&) {
    glDisable(GL_DEPTH_TEST);
    section_blend_alpha_begin(s);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    spline_transform_srt(s, s.elapsed, 0);
    image_quad_draw(*static_cast<ImageQuad*>(s.data));
    glPopMatrix();
    section_blend_alpha_end(s);
    glEnable(GL_DEPTH_TEST);
}

extern const SectionType image_type = {"image",      section_noop, image_init, section_noop,
                                       image_render, section_noop, image_check};
