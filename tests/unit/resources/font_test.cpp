#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "core/config.h"
#include "resources/font.h"
#include "resources/texture.h"
#include "test_support.h"

namespace {

// The map as the font image is laid out: printable ASCII with "-" in the cell of "_", then
// the second half given as runs of (first cell, last cell, Latin-1 code).
std::vector<unsigned char> expected_map() {
    std::vector<unsigned char> map;
    for (int k = 0; k <= 94; ++k) map.push_back(k == 63 ? '-' : static_cast<unsigned char>(32 + k));
    struct Run {
        int first, last;
        unsigned char code;
    };
    const Run runs[] = {
        {95, 95, 0x20},   {96, 96, 0x43},   {97, 97, 0xAA},   {98, 98, 0x3C},   {99, 99, 0xBA},
        {100, 100, 0x2B}, {101, 101, 0x27}, {102, 102, 0xBA}, {103, 103, 0x27}, {104, 104, 0x3E},
        {105, 105, 0xBF}, {106, 106, 0xC0}, {107, 107, 0xC1}, {108, 108, 0xC2}, {109, 112, 0x41},
        {113, 113, 0xC7}, {114, 114, 0xC8}, {115, 115, 0xC9}, {116, 117, 0x45}, {118, 118, 0xCC},
        {119, 119, 0xCD}, {120, 121, 0x49}, {122, 122, 0xD1}, {123, 123, 0xD2}, {124, 124, 0xD3},
        {125, 127, 0x4F}, {128, 128, 0x30}, {129, 129, 0xD9}, {130, 130, 0xDA}, {131, 132, 0x55},
        {133, 133, 0xDD}, {134, 134, 0x70}, {135, 135, 0x62}, {136, 136, 0xE0}, {137, 137, 0xE1},
        {138, 142, 0x61}, {143, 143, 0xE7}, {144, 144, 0xE8}, {145, 145, 0xE9}, {146, 147, 0x65},
        {148, 148, 0xEC}, {149, 149, 0xED}, {150, 151, 0x69}, {152, 152, 0xF1}, {153, 153, 0xF2},
        {154, 154, 0xF3}, {155, 158, 0x6F}, {159, 159, 0xF9}, {160, 160, 0xFA}, {161, 162, 0x75},
        {163, 163, 0xFD}, {164, 165, 0x79}, {166, 166, 0x20},
    };
    for (const Run& r : runs) {
        EXPECT_EQ(static_cast<int>(map.size()), r.first);
        for (int k = r.first; k <= r.last; ++k) map.push_back(r.code);
    }
    return map;
}

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

Font font16() {
    return font_make("data/fonts/font.tga", font_charmap, 16, 16, 0, 256);
}

}  // namespace

TEST(FontCharmap, EveryCellHoldsItsCharacter) {
    const std::vector<unsigned char> expected = expected_map();
    ASSERT_EQ(expected.size(), 167u);
    ASSERT_EQ(std::strlen(font_charmap), 167u);
    for (int k = 0; k < 167; ++k) {
        EXPECT_EQ(static_cast<unsigned char>(font_charmap[k]), expected[k]) << "cell " << k;
    }
}

TEST(FontCharmap, FirstMatchWinsAndUnderscoreHasNoGlyph) {
    const int all = FONT_CHARMAP_LENGTH;
    EXPECT_EQ(font_cell_of(font_charmap, all, 0xE9), 145);
    EXPECT_EQ(font_cell_of(font_charmap, all, 0xE2), -1);
    EXPECT_EQ(font_cell_of(font_charmap, all, '-'), 13);
    EXPECT_EQ(font_cell_of(font_charmap, all, '_'), -1);
    EXPECT_EQ(font_cell_of(font_charmap, all, 'A'), 33);  // not 109 to 112
    EXPECT_EQ(font_cell_of(font_charmap, all, 'o'), 79);  // not 155 to 158
    EXPECT_EQ(font_cell_of(font_charmap, all, ' '), 0);   // not 95 or 166
    EXPECT_EQ(font_cell_of(font_charmap, all, 0xBA), 99);
    EXPECT_EQ(font_cell_of(font_charmap, all, 0xBF), 105);
    EXPECT_EQ(font_cell_of(font_charmap, all, 0xFD), 163);
    for (int c = 0xC3; c <= 0xC6; ++c) EXPECT_EQ(font_cell_of(font_charmap, all, c), -1) << c;
    // The line feed and the NUL that ends every text are never cells.
    EXPECT_EQ(font_cell_of(font_charmap, all, '\n'), -1);
    EXPECT_EQ(font_cell_of(font_charmap, all, 0), -1);
}

TEST(FontCharmap, HundredTwentyFourDrawableCharactersAndFortyThreeDeadCells) {
    std::set<int> drawable;
    std::set<int> high;
    for (int c = 1; c < 256; ++c) {
        if (font_cell_of(font_charmap, FONT_CHARMAP_LENGTH, static_cast<unsigned char>(c)) >= 0) {
            drawable.insert(c);
            if (c > 0x7F) high.insert(c);
        }
    }
    EXPECT_EQ(drawable.size(), 124u);
    const std::set<int> expected_high = {0xAA, 0xBA, 0xBF, 0xC0, 0xC1, 0xC2, 0xC7, 0xC8, 0xC9, 0xCC,
                                         0xCD, 0xD1, 0xD2, 0xD3, 0xD9, 0xDA, 0xDD, 0xE0, 0xE1, 0xE7,
                                         0xE8, 0xE9, 0xEC, 0xED, 0xF1, 0xF2, 0xF3, 0xF9, 0xFA, 0xFD};
    EXPECT_EQ(high, expected_high);

    int dead = 0;
    for (int k = 0; k < FONT_CHARMAP_LENGTH; ++k) {
        const unsigned char c = static_cast<unsigned char>(font_charmap[k]);
        if (font_cell_of(font_charmap, FONT_CHARMAP_LENGTH, c) != k) ++dead;
    }
    EXPECT_EQ(dead, 43);
}

TEST(FontCharmap, LookupStaysInsideTheGivenCells) {
    EXPECT_EQ(font_cell_of(font_charmap, 98, 0xAA), 97);
    EXPECT_EQ(font_cell_of(font_charmap, 97, 0xAA), -1);
    EXPECT_EQ(font_cell_of(font_charmap, 0, ' '), -1);
    EXPECT_EQ(font_cell_of(nullptr, 10, 'A'), -1);
    // A map shorter than the cell count ends at its NUL.
    EXPECT_EQ(font_cell_of("AB", 256, 'B'), 1);
    EXPECT_EQ(font_cell_of("AB", 256, 'C'), -1);
}

TEST(FontFormat, FormatsLikePrintfAndCutsLongTextsSafely) {
    EXPECT_EQ(format_text("fps %.0f %s", 59.6, "ok"), "fps 60 ok");
    const std::string long_text(300, 'x');
    EXPECT_EQ(format_text("%s", long_text.c_str()), std::string(255, 'x'));
    EXPECT_EQ(format_text("%s%s", std::string(254, 'a').c_str(), "bcd"), std::string(254, 'a') + "b");
}

TEST(FontRecord, FilledFromTheImageWidth) {
    const Font f = font_make("data/fonts/font.tga", font_charmap, 16, 16, 7, 256);
    EXPECT_STREQ(f.path, "data/fonts/font.tga");
    EXPECT_EQ(f.charmap, font_charmap);
    EXPECT_EQ(f.texture, 7);
    EXPECT_EQ(f.columns, 16);
    EXPECT_EQ(f.rows, 16);
    EXPECT_EQ(f.x, 0.0f);
    EXPECT_EQ(f.y, 0.0f);
    EXPECT_EQ(f.size, 16.0f);
    EXPECT_EQ(f.spacing, 1.0f);
    EXPECT_EQ(f.red + f.green + f.blue + f.alpha, 4.0f);
    // An image cut down by the detail limit gives smaller glyphs; widths need not divide evenly.
    EXPECT_EQ(font_make("f", font_charmap, 16, 16, 0, 128).size, 8.0f);
    EXPECT_EQ(font_make("f", font_charmap, 16, 16, 0, 100).size, 6.25f);
}

TEST(FontLayout, TwoLettersSideBySide) {
    const std::vector<FontGlyph> g = font_layout(font16(), "AB");
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(g[0].cell, 33);
    EXPECT_EQ(g[0].x, 0.0f);
    EXPECT_EQ(g[0].y, 0.0f);
    EXPECT_EQ(g[0].size, 16.0f);
    // Cell 33: column 1, row 2 from the top.
    EXPECT_EQ(g[0].s0, 1.0f / 16);
    EXPECT_EQ(g[0].s1, 2.0f / 16);
    EXPECT_EQ(g[0].t0, 2.0f / 16);
    EXPECT_EQ(g[0].t1, 3.0f / 16);
    EXPECT_EQ(g[1].cell, 34);
    EXPECT_EQ(g[1].x, 16.0f);
    EXPECT_EQ(g[1].y, 0.0f);
    EXPECT_EQ(g[1].s0, 2.0f / 16);
    EXPECT_EQ(g[1].t0, 2.0f / 16);
}

TEST(FontLayout, LineFeedStartsTheNextLineAtTheLeftEdge) {
    const std::vector<FontGlyph> g = font_layout(font16(), "a\nbc\n\nd");
    ASSERT_EQ(g.size(), 4u);
    EXPECT_EQ(g[0].x, 0.0f);
    EXPECT_EQ(g[0].y, 0.0f);
    EXPECT_EQ(g[1].cell, 66);  // "b"
    EXPECT_EQ(g[1].x, 0.0f);
    EXPECT_EQ(g[1].y, 16.0f);
    EXPECT_EQ(g[2].x, 16.0f);
    EXPECT_EQ(g[2].y, 16.0f);
    EXPECT_EQ(g[3].x, 0.0f);  // an empty line in between
    EXPECT_EQ(g[3].y, 48.0f);
}

TEST(FontLayout, CharactersWithoutGlyphAdvanceButDrawNothing) {
    const std::vector<FontGlyph> g = font_layout(font16(), "_A\xE2-B");
    ASSERT_EQ(g.size(), 3u);
    EXPECT_EQ(g[0].cell, 33);
    EXPECT_EQ(g[0].x, 16.0f);
    EXPECT_EQ(g[1].cell, 13);
    EXPECT_EQ(g[1].x, 48.0f);
    EXPECT_EQ(g[2].cell, 34);
    EXPECT_EQ(g[2].x, 64.0f);

    const std::vector<FontGlyph> accented = font_layout(font16(), "\xE9");
    ASSERT_EQ(accented.size(), 1u);
    EXPECT_EQ(accented[0].cell, 145);
    EXPECT_EQ(accented[0].s0, 1.0f / 16);  // column 1 of row 9
    EXPECT_EQ(accented[0].t0, 9.0f / 16);

    EXPECT_TRUE(font_layout(font16(), "").empty());
    EXPECT_TRUE(font_layout(font16(), nullptr).empty());
    EXPECT_TRUE(font_layout(font16(), "__\xE2").empty());
}

TEST(FontLayout, SmallGlyphsAtTheLowestDetail) {
    const Font f = font_make("f", font_charmap, 16, 16, 0, 128);
    const std::vector<FontGlyph> g = font_layout(f, "AB\nC");
    ASSERT_EQ(g.size(), 3u);
    EXPECT_EQ(g[0].size, 8.0f);
    EXPECT_EQ(g[1].x, 8.0f);
    EXPECT_EQ(g[2].x, 0.0f);
    EXPECT_EQ(g[2].y, 8.0f);
    // The texture rectangle is a sixteenth of the image whatever its size.
    EXPECT_EQ(g[1].s1 - g[1].s0, 1.0f / 16);
}

TEST(FontLayout, PenStartAndSpacingFollowTheRecord) {
    Font f = font16();
    f.x = 5;
    f.y = 7;
    f.spacing = 2.0f;
    const std::vector<FontGlyph> g = font_layout(f, "AB\nC");
    ASSERT_EQ(g.size(), 3u);
    EXPECT_EQ(g[0].x, 5.0f);
    EXPECT_EQ(g[0].y, 7.0f);
    EXPECT_EQ(g[1].x, 37.0f);
    // After a line feed the pen goes to -size and then advances once: -16 + 32.
    EXPECT_EQ(g[2].x, 16.0f);
    EXPECT_EQ(g[2].y, 23.0f);
}

TEST(FontImageLoad, MissingImageEndsTheProgramThroughTheLoader) {
    TempDir dir;
    ScopedChdir cd(dir.path);
    texture_table_reset();
    Font f;
    const std::string message =
        fatal_message_of([&] { font_init(&f, font_charmap, 16, 16, "data/fonts/font.tga"); });
    EXPECT_EQ(message.rfind("Error loading 'data/fonts/font.tga': ", 0), 0u) << message;
    EXPECT_EQ(f.texture, -1);  // the record is left as it was
    texture_table_reset();
}
