// The "efxRadialBlur" section type: smears the frame outward from a centre point by adding
// ever more magnified copies of it, each pass copying the frame as the earlier passes left it.
#include "effects/radial_blur.h"

#include <GL/gl.h>

#include "base/error.h"
#include "gfx/ortho.h"
#include "gfx/window.h"
#include "resources/texture.h"
#include "script/section.h"
#include "sections/demo.h"

RadialBlur radial_blur_from_params(const float* params) {
    RadialBlur b;
    b.strength_start = params[1];
    b.strength_end = params[3];
    b.step_start = params[2];
    b.step_end = params[4];
    b.centre_x_start = params[5];
    b.centre_x_end = params[7];
    b.centre_y_start = params[6];
    b.centre_y_end = params[8];
    return b;
}

RadialBlurFrame radial_blur_frame(const RadialBlur& b, float t) {
    RadialBlurFrame f;
    f.alpha = b.strength_start + (b.strength_end - b.strength_start) * t;
    f.step = b.step_start + (b.step_end - b.step_start) * t;
    f.cx2 = 2.0f * ((1.0f - t) * b.centre_x_start + t * b.centre_x_end);
    f.cy2 = 2.0f * ((1.0f - t) * b.centre_y_start + t * b.centre_y_end);
    return f;
}

int radial_blur_pass_count(float passes) {
    int count = 0;
    while (count < RADIAL_BLUR_MAX_PASSES && static_cast<float>(count) < passes) ++count;
    return count;
}

RadialBlurWindow radial_blur_window(int pass, const RadialBlurFrame& frame) {
    const float w = static_cast<float>(pass) * frame.step;
    RadialBlurWindow win;
    win.left = w * frame.cx2;
    win.bottom = w * frame.cy2;
    win.right = 1.0f - w;
    win.top = 1.0f - w;
    return win;
}

namespace {

void radial_blur_check(const Section& s, const SectionTypes&, bool) {
    if (s.param_count != 9) fatal_error("Nine floats needed in radial blur");
}

void radial_blur_init(Section& s, Frame& f) {
    radial_blur_check(s, f.demo.types, false);
    RadialBlur* blur = demo_record_new<RadialBlur>(f.demo);
    *blur = radial_blur_from_params(s.params);
    s.data = blur;
}

void radial_blur_render(Section& s, Frame&) {
    const RadialBlurFrame f =
        radial_blur_frame(*static_cast<const RadialBlur*>(s.data), s.elapsed / s.duration);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    ortho_begin();
    texture_bind(effect_texture);
    glColor4f(1, 1, 1, f.alpha);
    const int passes = radial_blur_pass_count(s.params[0]);
    for (int i = 0; i < passes; ++i) {
        // Each pass copies the frame as the earlier passes left it.
        frame_copy_to_texture();
        const RadialBlurWindow w = radial_blur_window(i, f);
        glBegin(GL_QUADS);
        glTexCoord2f(w.left, w.top);
        glVertex2f(0, 1);
        glTexCoord2f(w.left, w.bottom);
        glVertex2f(0, 0);
        glTexCoord2f(w.right, w.bottom);
        glVertex2f(1, 0);
        glTexCoord2f(w.right, w.top);
        glVertex2f(1, 1);
        glEnd();
    }
    ortho_end();
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
}

}  // namespace

extern const SectionType efx_radial_blur_type = {"efxRadialBlur",  section_noop,       radial_blur_init,
                                                 section_noop,     radial_blur_render, section_noop,
                                                 radial_blur_check};
