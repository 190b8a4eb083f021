// The untextured full-frame quad shared by the fader and the inversion.
#include "effects/flat_quad.h"

#include "gfx/ortho.h"
#include "gfx/window.h"

void flat_quad_draw(GLenum src, GLenum dst, const float colour[4]) {
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(src, dst);
    glColor4f(colour[0], colour[1], colour[2], colour[3]);
    ortho_begin();
    fullscreen_quad();
    ortho_end();
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
}
