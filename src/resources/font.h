// The bitmap font: a 16 x 16 grid of square glyph cells and a character map.
#pragma once

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
extern const char font_charmap[];

void font_init(Font* font, const char* charmap, int columns, int rows, const char* path);
void font_print(const Font& font, const char* format, ...) __attribute__((format(printf, 2, 3)));
