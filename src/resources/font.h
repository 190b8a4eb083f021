// The bitmap font: a 16 x 16 grid of square glyph cells and a character map.
#pragma once

#include <cstdarg>
#include <vector>

struct Font {
    const char* path = nullptr;
    const char* charmap = nullptr;
    int texture = -1;
    int columns = 16;
    int rows = 16;
    float x = 0;
    float y = 0;
    float size = 0;
    float spacing = 1.0f;
    float red = 1.0f, green = 1.0f, blue = 1.0f, alpha = 1.0f;
};

// The program's one font, loaded at start-up from "data/fonts/font.tga".
extern Font system_font;
inline constexpr char FONT_FILE[] = "data/fonts/font.tga";

// Fatal, with a message that says how to make one, when the demo has no FONT_FILE.
void font_require_file();
extern const char font_charmap[];

// Cells in font_charmap (167, Latin-1).
inline constexpr int FONT_CHARMAP_LENGTH = 167;
// Texts are formatted into this many bytes; longer texts are cut at FONT_TEXT_MAX - 1 characters.
inline constexpr int FONT_TEXT_MAX = 256;

// The font of the glyph image at `path`, loaded at the texture `detail` level.
void font_init(Font* font, const char* charmap, int columns, int rows, const char* path, int detail);

// The record font_init fills for an uploaded glyph image of `texture_width` pixels (after any
// detail scaling): pen at (0, 0), glyph side = width / columns, spacing 1, white.
Font font_make(const char* path, const char* charmap, int columns, int rows, int texture, int texture_width);

// Formats as font_print does, into FONT_TEXT_MAX bytes: a longer text is cut after
// FONT_TEXT_MAX - 1 characters, and the buffer always ends with a NUL.
void font_format(char (&text)[FONT_TEXT_MAX], const char* format, va_list args);

// The cell showing character `c`: the first cell whose map entry equals it, or -1 when no cell
// among the first `cells` entries of the map holds it. Bytes compare as unsigned (Latin-1).
int font_cell_of(const char* charmap, int cells, unsigned char c);

// One glyph square as font_print draws it: top-left corner (x, y) in pixels, y downwards,
// side `size`, and the cell's texture rectangle, t measured from the image's top row.
struct FontGlyph {
    float x = 0;
    float y = 0;
    float size = 0;
    int cell = -1;
    float s0 = 0, t0 = 0, s1 = 0, t1 = 0;
};

// The glyph squares of `text` in drawing order. Every character advances the pen by
// size x spacing; a line feed first moves the pen to x = -size on the next line, so the
// character after it starts at the left edge. Characters without a glyph draw nothing.
std::vector<FontGlyph> font_layout(const Font& font, const char* text);
