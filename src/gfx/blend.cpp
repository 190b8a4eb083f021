// Blending and the alpha test of a section's drawing.
#include "gfx/blend.h"

#include <GL/gl.h>

void blend_begin(bool on, int src, int dst) {
    if (!on) return;
    glEnable(GL_BLEND);
    glBlendFunc(static_cast<GLenum>(src), static_cast<GLenum>(dst));
}

void blend_end(bool on) {
    if (on) glDisable(GL_BLEND);
}

void alpha_test_begin(bool on, int func, float ref) {
    if (!on) return;
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(static_cast<GLenum>(func), ref);
}

void alpha_test_end(bool on) {
    if (on) glDisable(GL_ALPHA_TEST);
}
