// The font image generator: one glyph per character of the map, in the map's cell order.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "resources/font.h"
#include "font_image.h"

namespace {

// A cell as 256 lit/unlit flags, row by row from its top.
using CellBits = std::vector<bool>;

CellBits cell_bits(const GlyphImage& image, int k) {
    CellBits bits;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) bits.push_back(image.lit(k, x, y));
    }
    return bits;
}

int count_lit(const CellBits& bits) {
    int n = 0;
    for (bool b : bits) n += b ? 1 : 0;
    return n;
}

}  // namespace

TEST(FontImage, IsA256SquareTrueColourTgaStoredTopFirst) {
    const GlyphImage image = glyph_image();
    ASSERT_TRUE(image.complete());
    EXPECT_EQ(image.bytes[2], 2);  // uncompressed true colour
    EXPECT_EQ(static_cast<unsigned char>(image.bytes[12]) | static_cast<unsigned char>(image.bytes[13]) << 8,
              GlyphImage::SIDE);
    EXPECT_EQ(static_cast<unsigned char>(image.bytes[14]) | static_cast<unsigned char>(image.bytes[15]) << 8,
              GlyphImage::SIDE);
    EXPECT_EQ(image.bytes[16], 24);
    EXPECT_EQ(image.bytes[17] & 0x20, 0x20);
}

TEST(FontImage, EveryCharacterOfTheMapHasItsOwnGlyph) {
    const GlyphImage image = glyph_image();
    ASSERT_TRUE(image.complete());

    std::map<CellBits, int> seen;  // glyph -> first cell showing it
    for (int k = 0; k < FONT_CHARMAP_LENGTH; ++k) {
        const unsigned char c = static_cast<unsigned char>(font_charmap[k]);
        const CellBits bits = cell_bits(image, k);
        if (c == ' ') {
            EXPECT_EQ(count_lit(bits), 0) << "cell " << k;
            continue;
        }
        EXPECT_GT(count_lit(bits), 0) << "cell " << k << " character " << int(c);
        const int first = font_cell_of(font_charmap, FONT_CHARMAP_LENGTH, c);
        if (first != k) {
            // A repeated entry shows the same character as the cell that is drawn.
            EXPECT_EQ(bits, cell_bits(image, first)) << "cell " << k;
            continue;
        }
        auto [it, inserted] = seen.emplace(bits, k);
        EXPECT_TRUE(inserted) << "cells " << it->second << " and " << k << " look alike";
    }
    EXPECT_EQ(seen.size(), 123u);  // 124 drawable characters, the space being blank

    for (int k = FONT_CHARMAP_LENGTH; k < 256; ++k)
        EXPECT_EQ(count_lit(cell_bits(image, k)), 0) << "cell " << k;
}

TEST(FontImage, GlyphsKeepClearOfTheCellSides) {
    const GlyphImage image = glyph_image();
    ASSERT_TRUE(image.complete());
    // Neighbouring glyphs never touch: the outer columns of every cell stay dark.
    for (int y = 0; y < GlyphImage::SIDE; ++y) {
        for (int cx = 0; cx < GlyphImage::SIDE; cx += 16) {
            EXPECT_FALSE(image.lit(cx, y)) << cx << "," << y;
            EXPECT_FALSE(image.lit(cx + 16 - 1, y)) << cx + 16 - 1 << "," << y;
        }
    }
}
