// The tools beside the player: the font image generator draws a glyph of its own for every
// character of the map, and the converter that turns recorded frames into the README's pictures
// keeps rows the right way up, expands run-length packets, averages when it scales and lays frames
// out on sheets. Its PNG files are read back by ffmpeg.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "resources/font.h"
#include "test_support.h"

namespace {

// RGB bytes of pixels given as 0xRRGGBB.
std::string rgb(std::initializer_list<uint32_t> pixels) {
    std::string out;
    for (uint32_t p : pixels)
        out += {static_cast<char>(p >> 16), static_cast<char>(p >> 8), static_cast<char>(p)};
    return out;
}

// Runs tga_to_png in `dir` and returns the picture it wrote as RGB bytes, top row first.
std::string convert(const TempDir& dir, const std::string& arguments) {
    const std::string command =
        "cd '" + dir.path + "' && '" TARVEL_TOOLS_DIR "/tga_to_png' " + arguments +
        " out.png && ffmpeg -v error -y -i out.png -f rawvideo -pix_fmt rgb24 out.rgb";
    return std::system(command.c_str()) == 0 ? read_file(dir.file("out.rgb")) : "failed";
}

}  // namespace

TEST(FontImage, EveryCharacterOfTheMapHasAGlyphOfItsOwnClearOfTheCellSides) {
    TempDir dir;
    ASSERT_EQ(std::system(("'" TARVEL_TOOLS_DIR "/make_font' '" + dir.file("font.tga") + "'").c_str()), 0);
    const std::string image = read_file(dir.file("font.tga"));
    ASSERT_EQ(image.size(), 18u + 256 * 256 * 3);
    EXPECT_EQ(image[17] & 0x20, 0x20) << "rows stored top first";
    auto cell = [&](int k) {  // '#' for a lit pixel, row by row
        std::string bits;
        for (int i = 0; i < 256; ++i)
            bits += static_cast<uint8_t>(
                        image[18 + ((k / 16 * 16 + i / 16) * 256 + k % 16 * 16 + i % 16) * 3]) > 127
                        ? '#'
                        : '.';
        return bits;
    };
    std::map<std::string, int> seen;  // glyph -> the cell showing it
    for (int k = 0; k < 256; ++k) {
        const std::string bits = cell(k);
        for (int y = 0; y < 16; ++y)
            EXPECT_TRUE(bits[y * 16] == '.' && bits[y * 16 + 15] == '.') << "cell " << k;
        const unsigned char c = k < FONT_CHARMAP_LENGTH ? static_cast<unsigned char>(font_charmap[k]) : ' ';
        const int first = font_cell_of(font_charmap, FONT_CHARMAP_LENGTH, c);
        if (c == ' ') {
            EXPECT_EQ(bits.find('#'), std::string::npos) << "cell " << k;
        } else if (first != k) {
            EXPECT_EQ(bits, cell(first)) << "a repeated entry shows its first cell's glyph: " << k;
        } else {
            EXPECT_NE(bits.find('#'), std::string::npos) << "cell " << k;
            EXPECT_TRUE(seen.emplace(bits, k).second)
                << "cells " << seen[bits] << " and " << k << " look alike";
        }
    }
}

TEST(FrameToPng, TurnsFramesTheRightWayUpScalesByAveragingAndLaysOutSheets) {
    TempDir dir;
    // 2 x 2, bottom row first as the player stores it: a run of two red, then green and blue raw.
    std::string tga(18, '\0');
    tga[2] = 10, tga[12] = 2, tga[14] = 2, tga[16] = 24;
    write_file(dir.file("frame.tga"), tga + std::string("\x81\x00\x00\xff\x01\x00\xff\x00\xff\x00\x00", 11));
    EXPECT_EQ(convert(dir, "frame.tga"), rgb({0x00ff00, 0x0000ff, 0xff0000, 0xff0000}));
    // 4 x 2, top row first: red over blue on the left, white over black on the right.
    const std::string a = rgb({0xff0000, 0xff0000, 0xffffff, 0xffffff, 0x0000ff, 0x0000ff, 0, 0});
    write_tga(dir.file("a.tga"), 4, 2, a);
    write_tga(dir.file("b.tga"), 4, 2, solid_rgb(4, 2, 0, 255, 0));
    EXPECT_EQ(convert(dir, "-w 2 a.tga"), rgb({0x800080, 0x808080}));  // 2 x 1: the aspect kept
    // Two frames in one column with a gap of their height between them, 4 x 6.
    EXPECT_EQ(convert(dir, "-c 1 a.tga b.tga"),
              a + std::string(4 * 2 * 3, '\0') + solid_rgb(4, 2, 0, 255, 0));
    EXPECT_EQ(convert(dir, "missing.tga"), "failed");
}
