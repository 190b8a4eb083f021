// The bitmap font: loading the glyph image. Where each glyph goes is worked out by font_layout
// (font_layout.cpp); gfx/font_draw draws it.
#include "resources/font.h"

#include "base/error.h"
#include "resources/files.h"
#include "resources/texture.h"

Font system_font;

void font_require_file() {
    if (!file_exists(FONT_FILE))
        fatal_error("Font '%s' not found: every demo needs %s (make_font %s writes one)", FONT_FILE,
                    FONT_FILE, FONT_FILE);
}

void font_init(Font* font, const char* charmap, int columns, int rows, const char* path, int detail) {
    const int texture = texture_load(path, detail);
    texture_set_flags(texture, TEX_NO_MIPMAP | TEX_CLAMP);
    texture_upload(texture);
    // The width after upload is the one the detail limit left, so glyphs shrink with it.
    *font = font_make(path, charmap, columns, rows, texture, texture_get(texture)->width);
}
