// Blending and the alpha test of a section's drawing.
#include "gfx/blend.h"

#include <GL/gl.h>

void blend_begin(int src, int dst) {
    glEnable(GL_BLEND);
    glBlendFunc(static_cast<GLenum>(src), static_cast<GLenum>(dst));
}

void blend_end() {
    glDisable(GL_BLEND);
}

void alpha_test_begin(int func, float ref) {
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(static_cast<GLenum>(func), ref);
}

void alpha_test_end() {
    glDisable(GL_ALPHA_TEST);
}
