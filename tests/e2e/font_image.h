// The font image the generator draws, for tests that need real glyphs. Header-only.
#pragma once

#include <cstdlib>
#include <string>

#include "test_support.h"

// Runs tools/make_font, writing the image to `path`; true when it succeeded.
inline bool make_font_image(const std::string& path) {
    const std::string command = std::string("'") + TARVEL_TOOLS_DIR + "/make_font' '" + path + "'";
    return std::system(command.c_str()) == 0;
}

// The generated image as written: an 18-byte header, then 256 x 256 BGR pixels, top row first.
struct GlyphImage {
    static constexpr int SIDE = 256;
    std::string bytes;

    bool complete() const { return bytes.size() == 18u + SIDE * SIDE * 3; }
    // Pixel (x, y) of the image, y from the top.
    bool lit(int x, int y) const {
        const size_t at = 18 + (static_cast<size_t>(y) * SIDE + x) * 3;
        return static_cast<unsigned char>(bytes[at]) > 127 ||
               static_cast<unsigned char>(bytes[at + 1]) > 127 ||
               static_cast<unsigned char>(bytes[at + 2]) > 127;
    }
    // Pixel (x, y) of cell k, y from the cell's top.
    bool lit(int cell, int x, int y) const { return lit((cell % 16) * 16 + x, (cell / 16) * 16 + y); }
};

// The cell that shows character `c` in the player's font, or -1 (font_image.cpp; kept out of
// this header so that tests which include Xlib, whose Font type clashes with ours, can use it).
int glyph_cell(unsigned char c);

// Generates the image in a temporary directory and reads it back.
inline GlyphImage glyph_image() {
    TempDir dir;
    const std::string path = dir.file("font.tga");
    if (!make_font_image(path)) return {};
    return GlyphImage{read_file(path)};
}
