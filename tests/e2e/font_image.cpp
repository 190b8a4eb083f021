#include "font_image.h"

#include "resources/font.h"

int glyph_cell(unsigned char c) {
    return font_cell_of(font_charmap, FONT_CHARMAP_LENGTH, c);
}
