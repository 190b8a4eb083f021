#include "resources/font.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string format_text(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string format_text(const char* format, ...) {
    char text[FONT_TEXT_MAX];
    std::memset(text, 'z', sizeof text);
    va_list args;
    va_start(args, format);
    font_format(text, format, args);
    va_end(args);
    return text;
}

}  // namespace

TEST(FontCharmap, EachCharacterFindsTheFirstCellHoldingIt) {
    ASSERT_EQ(std::strlen(font_charmap), static_cast<size_t>(FONT_CHARMAP_LENGTH));
    for (int c = 1; c < 256; ++c) {
        const char* first = static_cast<const char*>(std::memchr(font_charmap, c, FONT_CHARMAP_LENGTH));
        int expected = first == nullptr || c == '_' ? -1 : static_cast<int>(first - font_charmap);
        EXPECT_EQ(font_cell_of(font_charmap, FONT_CHARMAP_LENGTH, static_cast<unsigned char>(c)), expected)
            << c;
    }
    // The line feed and the NUL that ends every text are never cells; the search stays in its cells.
    for (char c : {'\0', '\n'}) EXPECT_EQ(font_cell_of(font_charmap, FONT_CHARMAP_LENGTH, c), -1) << int(c);
    EXPECT_EQ(font_cell_of("ABC", 2, 'C'), -1);
    EXPECT_EQ(font_cell_of("AB", 256, 'C'), -1);  // a map shorter than the cell count ends at its NUL
    EXPECT_EQ(font_cell_of(nullptr, 10, 'A'), -1);
}

TEST(FontFormat, FormatsLikePrintfAndCutsLongTextsSafely) {
    EXPECT_EQ(format_text("fps %.0f %s", 59.6, "ok"), "fps 60 ok");
    EXPECT_EQ(format_text("%s%s", std::string(254, 'a').c_str(), "bcd"), std::string(254, 'a') + "b");
}

TEST(FontLayout, GlyphsAdvanceByTheirSizeTimesTheSpacingAndLinesStartAtTheLeft) {
    // A 16 x 16 grid on an image 128 wide: glyphs of 8 pixels.
    Font f = font_make("f", "ABCDEFGHIJKLMNOPQR", 16, 16, 0, 128);
    EXPECT_EQ(f.size, 8.0f);
    EXPECT_EQ(font_make("f", font_charmap, 16, 16, 0, 100).size, 6.25f);
    f.x = 5;
    f.y = 7;
    f.spacing = 2.0f;
    // "_" and "z" have no glyph: they advance but draw nothing.
    const std::vector<FontGlyph> g = font_layout(f, "_A\nz\n\nR");
    ASSERT_EQ(g.size(), 2u);
    // Cell 0 is column 0 of the top row, cell 17 column 1 of the second. After a line feed the pen
    // goes to -size and then advances once: -8 + 16.
    EXPECT_EQ((std::vector<float>{g[0].x, g[0].y, g[0].size, g[0].s0, g[0].t0, g[0].s1, g[0].t1}),
              (std::vector<float>{5 + 16, 7, 8, 0, 0, 1.0f / 16, 1.0f / 16}));
    EXPECT_EQ((std::vector<float>{g[1].x, g[1].y, g[1].s0, g[1].t0}),
              (std::vector<float>{8, 7 + 3 * 8, 1.0f / 16, 1.0f / 16}));
    EXPECT_TRUE(font_layout(f, nullptr).empty());
}
