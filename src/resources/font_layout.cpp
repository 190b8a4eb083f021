// The font's character map and the placement of glyph squares for a text. No GL here:
// font_print feeds the result of font_layout to GL, and the tests check it directly.

#include <cstdio>

#include "resources/font.h"

// Cells 0 to 94 are printable ASCII in code order, except that the cell of "_" holds "-"
// (so "_" has no glyph). Cells 95 to 166 come from the image's second half; many repeat an
// earlier character and can never be drawn, since the lookup stops at the first match.
// Written as one literal per byte where hexadecimal escapes are used, so that no escape
// swallows the characters after it.
// clang-format off
const char font_charmap[] =
    " !\"#$%&'()*+,-./0123456789:;<=>?"
    "@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^-"
    "`abcdefghijklmnopqrstuvwxyz{|}~"
    "\x20" "\x43" "\xAA" "\x3C" "\xBA" "\x2B" "\x27" "\xBA" "\x27" "\x3E" "\xBF" "\xC0"
    "\xC1" "\xC2" "\x41" "\x41" "\x41" "\x41" "\xC7" "\xC8" "\xC9" "\x45" "\x45" "\xCC"
    "\xCD" "\x49" "\x49" "\xD1" "\xD2" "\xD3" "\x4F" "\x4F" "\x4F" "\x30" "\xD9" "\xDA"
    "\x55" "\x55" "\xDD" "\x70" "\x62" "\xE0" "\xE1" "\x61" "\x61" "\x61" "\x61" "\x61"
    "\xE7" "\xE8" "\xE9" "\x65" "\x65" "\xEC" "\xED" "\x69" "\x69" "\xF1" "\xF2" "\xF3"
    "\x6F" "\x6F" "\x6F" "\x6F" "\xF9" "\xFA" "\x75" "\x75" "\xFD" "\x79" "\x79" "\x20";
// clang-format on

static_assert(sizeof font_charmap == FONT_CHARMAP_LENGTH + 1, "the map has 167 cells");

Font font_make(const char* path, const char* charmap, int columns, int rows, int texture, int texture_width) {
    Font font;
    font.path = path;
    font.charmap = charmap;
    font.texture = texture;
    font.columns = columns;
    font.rows = rows;
    font.x = 0;
    font.y = 0;
    font.size = columns > 0 ? static_cast<float>(texture_width) / static_cast<float>(columns) : 0.0f;
    font.spacing = 1.0f;
    font.red = font.green = font.blue = font.alpha = 1.0f;
    return font;
}

void font_format(char (&text)[FONT_TEXT_MAX], const char* format, va_list args) {
    text[0] = '\0';
    if (format == nullptr) return;
    std::vsnprintf(text, FONT_TEXT_MAX, format, args);
}

int font_cell_of(const char* charmap, int cells, unsigned char c) {
    if (charmap == nullptr) return -1;
    // The terminating NUL is never a cell, so the text's own end cannot match it.
    for (int k = 0; k < cells && charmap[k] != '\0'; ++k) {
        if (static_cast<unsigned char>(charmap[k]) == c) return k;
    }
    return -1;
}

std::vector<FontGlyph> font_layout(const Font& font, const char* text) {
    std::vector<FontGlyph> glyphs;
    if (text == nullptr || font.columns <= 0 || font.rows <= 0) return glyphs;

    const int cells = font.columns * font.rows;
    const float advance = font.size * font.spacing;
    const float columns = static_cast<float>(font.columns);
    const float rows = static_cast<float>(font.rows);
    float pen_x = font.x;
    float pen_y = font.y;
    for (const char* p = text; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\n') {
            pen_x = -font.size;
            pen_y += font.size;
        }
        const int k = font_cell_of(font.charmap, cells, c);
        if (k >= 0) {
            FontGlyph g;
            g.x = pen_x;
            g.y = pen_y;
            g.size = font.size;
            g.cell = k;
            g.s0 = static_cast<float>(k % font.columns) / columns;
            g.t0 = static_cast<float>(k / font.columns) / rows;
            g.s1 = g.s0 + 1.0f / columns;
            g.t1 = g.t0 + 1.0f / rows;
            glyphs.push_back(g);
        }
        pen_x += advance;
    }
    return glyphs;
}
