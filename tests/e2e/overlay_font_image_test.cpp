// The font image generator: one glyph per character of the map, in the map's cell order.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "resources/font.h"
#include "test_support.h"

namespace {

constexpr int SIDE = 256;
constexpr int CELL = 16;

// A cell as 256 lit/unlit flags, row by row from its top.
using CellBits = std::vector<bool>;

struct FontImage {
    std::string bytes;
    bool lit(int x, int y) const {
        const size_t at = 18 + (static_cast<size_t>(y) * SIDE + x) * 3;
        return bytes[at] != 0 || bytes[at + 1] != 0 || bytes[at + 2] != 0;
    }
    CellBits cell(int k) const {
        CellBits bits;
        for (int y = 0; y < CELL; ++y) {
            for (int x = 0; x < CELL; ++x) bits.push_back(lit((k % 16) * CELL + x, (k / 16) * CELL + y));
        }
        return bits;
    }
};

int count_lit(const CellBits& bits) {
    int n = 0;
    for (bool b : bits) n += b ? 1 : 0;
    return n;
}

FontImage make_font_image(const TempDir& dir) {
    const std::string out = dir.file("data/fonts/font.tga");
    const std::string command = std::string("'") + TARVEL_TOOLS_DIR + "/make_font' '" + out + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return FontImage{read_file(out)};
}

}  // namespace

TEST(FontImage, IsA256SquareTrueColourTgaStoredTopFirst) {
    TempDir dir;
    const FontImage image = make_font_image(dir);
    ASSERT_EQ(image.bytes.size(), 18u + SIDE * SIDE * 3);
    EXPECT_EQ(image.bytes[2], 2);  // uncompressed true colour
    EXPECT_EQ(static_cast<unsigned char>(image.bytes[12]) | static_cast<unsigned char>(image.bytes[13]) << 8,
              SIDE);
    EXPECT_EQ(static_cast<unsigned char>(image.bytes[14]) | static_cast<unsigned char>(image.bytes[15]) << 8,
              SIDE);
    EXPECT_EQ(image.bytes[16], 24);
    EXPECT_EQ(image.bytes[17] & 0x20, 0x20);
}

TEST(FontImage, EveryCharacterOfTheMapHasItsOwnGlyph) {
    TempDir dir;
    const FontImage image = make_font_image(dir);
    ASSERT_EQ(image.bytes.size(), 18u + SIDE * SIDE * 3);

    std::map<CellBits, int> seen;  // glyph -> first cell showing it
    for (int k = 0; k < FONT_CHARMAP_LENGTH; ++k) {
        const unsigned char c = static_cast<unsigned char>(font_charmap[k]);
        const CellBits bits = image.cell(k);
        if (c == ' ') {
            EXPECT_EQ(count_lit(bits), 0) << "cell " << k;
            continue;
        }
        EXPECT_GT(count_lit(bits), 0) << "cell " << k << " character " << int(c);
        const int first = font_cell_of(font_charmap, FONT_CHARMAP_LENGTH, c);
        if (first != k) {
            // A repeated entry shows the same character as the cell that is drawn.
            EXPECT_EQ(bits, image.cell(first)) << "cell " << k;
            continue;
        }
        auto [it, inserted] = seen.emplace(bits, k);
        EXPECT_TRUE(inserted) << "cells " << it->second << " and " << k << " look alike";
    }
    EXPECT_EQ(seen.size(), 123u);  // 124 drawable characters, the space being blank

    for (int k = FONT_CHARMAP_LENGTH; k < 256; ++k) EXPECT_EQ(count_lit(image.cell(k)), 0) << "cell " << k;
}

TEST(FontImage, GlyphsKeepClearOfTheCellSides) {
    TempDir dir;
    const FontImage image = make_font_image(dir);
    ASSERT_EQ(image.bytes.size(), 18u + SIDE * SIDE * 3);
    // Neighbouring glyphs never touch: the outer columns of every cell stay dark.
    for (int y = 0; y < SIDE; ++y) {
        for (int cx = 0; cx < SIDE; cx += CELL) {
            EXPECT_FALSE(image.lit(cx, y)) << cx << "," << y;
            EXPECT_FALSE(image.lit(cx + CELL - 1, y)) << cx + CELL - 1 << "," << y;
        }
    }
}
