// The "imageMatrix" section type: a trail of copies of one textured quad, each under one more
// step transform than the last, each tinted by the colour spline at its own share of the time.
#include <GL/gl.h>

#include "base/error.h"
#include "gfx/free_camera.h"
#include "resources/texture.h"
#include "script/section.h"
#include "sections/section_blend.h"
#include "sections/demo.h"
#include "sections/image.h"
#include "sections/section_files.h"
#include "sections/transform.h"

void image_matrix_check(const Section& s, const SectionTypes&, bool files) {
    if (s.param_count != 2) fatal_error("imageMatrix: two floats needed");
    if (s.string_count != 1) fatal_error("imageMatrix: one string needed");
    if (s.spline_count != 3) fatal_error("imageMatrix: threee splines needed");
    spline_require_channels(s, "imageMatrix", 0, TRANSFORM_CHANNELS);
    spline_require_channels(s, "imageMatrix", 1, TRANSFORM_CHANNELS);
    spline_require_channels(s, "imageMatrix", 2, COLOR_CHANNELS);
    if (s.params[1] != 1.0f && s.params[1] != 0.0f) {
        ErrorPlace place = section_at_param(s, 1);
        fatal_error("imageMatrix: invalid modulation");
    }
    if (files) section_texture_check(s, 0);
}

void image_matrix_init(Section& s, Frame& f) {
    image_matrix_check(s, f.demo.types, false);
    int flags = TEX_NO_MIPMAP | TEX_CLAMP;
    if (s.params[1] == 1.0f) flags |= TEX_MODULATE;
    s.data = image_quad_finish(f.demo, section_texture_load(f.demo, s, 0), flags);
}

void image_matrix_render(Section& s, Frame& f) {
    const ImageQuad& quad = *static_cast<ImageQuad*>(s.data);
    glDisable(GL_DEPTH_TEST);
    section_blend_alpha_begin(s);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    float base[16] = {}, step[16] = {};
    spline_channels(s, s.elapsed, 0, base);
    spline_channels(s, s.elapsed, 1, step);
    for (const MatrixCopy& copy :
         matrix_copies(transform_trs_matrix(base), transform_trs_matrix(step), s.params[0], s.elapsed)) {
        glPushMatrix();
        glMultMatrixf(copy.transform.m);
        debug_axes(f.demo.settings.debug != 0);
        spline_color(s, copy.color_time, 2);
        image_quad_draw(quad);
        glPopMatrix();
    }
    glPopMatrix();
    section_blend_alpha_end(s);
    glEnable(GL_DEPTH_TEST);
}

extern const SectionType image_matrix_type = {"imageMatrix",     section_noop,        image_matrix_init,
                                              section_noop,      image_matrix_render, section_noop,
                                              image_matrix_check};
