// The "efxBlackWhite" section type: a grey copy of the frame blended over it. All sections of
// the type share one luminance texture, which the frame is copied into to lose its colour.
#include <GL/gl.h>

#include "base/error.h"
#include "gfx/ortho.h"
#include "gfx/window.h"
#include "resources/texture.h"
#include "script/section.h"
#include "sections/demo.h"

namespace {

// What the type keeps for all its sections: the grey texture, one of the demo's.
struct BlackWhite {
    int grey_texture = -1;
};

// Also reached through efxRepeat, which may call it after the load phase already has: the
// texture is made only once for a demo.
void black_white_prepare(Section&, Frame& f) {
    BlackWhite& bw = demo_type_state<BlackWhite>(f.demo);
    if (bw.grey_texture >= 0) return;
    bw.grey_texture =
        texture_create(window_settings().gl_rttWidth, window_settings().gl_rttHeight, GL_LUMINANCE, 1);
    texture_set_flags(bw.grey_texture, TEX_NO_MIPMAP | TEX_CLAMP);
    texture_upload(bw.grey_texture);
}

void black_white_check(const Section& s, const SectionTypes&, bool) {
    if (s.param_count != 2) fatal_error("Two floats needed in black & white");
}

void black_white_init(Section& s, Frame& f) {
    black_white_check(s, f.demo.types, false);
}

void black_white_render(Section& s, Frame& f) {
    const float t = s.elapsed / s.duration;
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    ortho_begin();
    // Copying into a one-component texture keeps only the luminance of each pixel.
    texture_bind(demo_type_state<BlackWhite>(f.demo).grey_texture);
    frame_copy_to_texture();
    // Replace environment: the texture gives the grey, the current colour only the alpha.
    glColor4f(1, 1, 1, s.params[0] + (s.params[1] - s.params[0]) * t);
    fullscreen_quad_textured();
    ortho_end();
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
}

}  // namespace

extern const SectionType efx_black_white_type = {"efxBlackWhite",  black_white_prepare, black_white_init,
                                                 section_noop,     black_white_render,  section_noop,
                                                 black_white_check};
