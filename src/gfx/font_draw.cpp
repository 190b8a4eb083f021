// Text printed over the frame in screen pixels with the bitmap font, blended additively.
#include "gfx/font_draw.h"

#include <GL/gl.h>

#include <cstdarg>

#include "gfx/window.h"
#include "resources/texture.h"

void font_print(const Font& font, const char* format, ...) {
    if (format == nullptr) return;
    char text[FONT_TEXT_MAX];
    va_list args;
    va_start(args, format);
    font_format(text, format, args);
    va_end(args);

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    texture_bind(font.texture);

    // Pixels of the configured video size across the current viewport, y downwards.
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, window_settings().gl_width, window_settings().gl_height, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    glColor4f(font.red, font.green, font.blue, font.alpha);

    for (const FontGlyph& g : font_layout(font, text)) {
        glPushMatrix();
        glTranslatef(g.x, g.y, 0);
        glBegin(GL_QUADS);
        glTexCoord2f(g.s0, g.t0);
        glVertex2f(0, 0);
        glTexCoord2f(g.s0, g.t1);
        glVertex2f(0, g.size);
        glTexCoord2f(g.s1, g.t1);
        glVertex2f(g.size, g.size);
        glTexCoord2f(g.s1, g.t0);
        glVertex2f(g.size, 0);
        glEnd();
        glPopMatrix();
    }

    glDisable(GL_BLEND);
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
}
