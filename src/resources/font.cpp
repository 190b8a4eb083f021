// The bitmap font: loading the glyph image and printing text over the frame in screen pixels,
// blended additively. Where each glyph goes is worked out by font_layout (font_layout.cpp).
#include "resources/font.h"

#include <GL/gl.h>

#include <cstdarg>

#include "base/config.h"
#include "base/error.h"
#include "resources/files.h"
#include "resources/texture.h"

Font system_font;

void font_require_file() {
    if (!file_exists(FONT_FILE))
        fatal_error("Font '%s' not found: every demo needs %s (make_font %s writes one)", FONT_FILE,
                    FONT_FILE, FONT_FILE);
}

void font_init(Font* font, const char* charmap, int columns, int rows, const char* path) {
    const int texture = texture_load(path);
    texture_set_flags(texture, TEX_NO_MIPMAP | TEX_CLAMP);
    texture_upload(texture);
    // The width after upload is the one the detail limit left, so glyphs shrink with it.
    *font = font_make(path, charmap, columns, rows, texture, texture_get(texture)->width);
}

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
    glOrtho(0, config.gl_width, config.gl_height, 0, -1, 1);
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
