// The converter that turns recorded frames into the README's pictures: rows come out the right
// way up whichever way the TGA stores them, colours in their places, run-length packets expanded,
// scaling averages and sheets keep their frames apart. The PNG is read back with zlib.
#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cstdint>

#include "showcase_support.h"

namespace {

using Rgb = std::array<uint8_t, 3>;

struct Png {
    uint32_t width = 0, height = 0;
    std::vector<Rgb> pixels;  // top row first
};

uint32_t be32(const std::string& s, size_t at) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(s[at])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[at + 1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[at + 2])) << 8) | static_cast<uint8_t>(s[at + 3]);
}

// Reads the 8-bit RGB, unfiltered PNG the converter writes; "" or what is wrong.
std::string png_read(const std::string& b, Png& out) {
    if (b.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return "no PNG signature";
    std::string packed;
    for (size_t at = 8; at + 12 <= b.size();) {
        uint32_t length = be32(b, at);
        if (at + 12 + length > b.size()) return "chunk runs past the end";
        std::string type = b.substr(at + 4, 4);
        std::string body = b.substr(at + 4, 4 + length);
        uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
        if (crc != be32(b, at + 8 + length)) return type + " has a bad CRC";
        if (type == "IHDR") {
            out.width = be32(b, at + 8);
            out.height = be32(b, at + 12);
            if (b.substr(at + 16, 5) != std::string("\x08\x02\x00\x00\x00", 5)) return "not 8-bit RGB";
        } else if (type == "IDAT") {
            packed += b.substr(at + 8, length);
        } else if (type == "IEND") {
            uLongf size = static_cast<uLongf>(out.height) * (out.width * 3 + 1);
            std::string raw(size, '\0');
            if (uncompress(reinterpret_cast<Bytef*>(raw.data()), &size,
                           reinterpret_cast<const Bytef*>(packed.data()),
                           static_cast<uLong>(packed.size())) != Z_OK ||
                size != raw.size())
                return "pixel data does not inflate to the picture's size";
            for (uint32_t y = 0; y < out.height; ++y) {
                size_t row = y * (out.width * 3 + 1);
                if (raw[row] != 0) return "filtered row";
                for (uint32_t x = 0; x < out.width; ++x) {
                    const char* p = &raw[row + 1 + x * 3];
                    out.pixels.push_back(
                        {static_cast<uint8_t>(p[0]), static_cast<uint8_t>(p[1]), static_cast<uint8_t>(p[2])});
                }
            }
            return "";
        }
        at += 12 + length;
    }
    return "no IEND";
}

struct Converter {
    TempDir dir;
    Png png;
    bool run(const std::string& arguments) {
        png = Png{};
        std::string command = "cd " + showcase::quoted(dir.path) + " && " +
                              showcase::quoted(std::string(TARVEL_TOOLS_DIR) + "/tga_to_png") + " " +
                              arguments + " out.png";
        if (!showcase::shell(command)) return false;
        std::string problem = png_read(read_file(dir.file("out.png")), png);
        EXPECT_EQ(problem, "");
        return problem.empty();
    }
    Rgb at(uint32_t x, uint32_t y) const { return png.pixels[y * png.width + x]; }
};

const Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, white{255, 255, 255}, black{0, 0, 0};

TEST(FrameToPng, TurnsAPlayerFrameStoredBottomUpAndRunLengthEncodedTheRightWayUp) {
    Converter c;
    // 2 x 2, bottom row first (descriptor 0): a run of two red pixels, then green and blue raw.
    std::string tga(18, '\0');
    tga[2] = 10;
    tga[12] = 2;
    tga[14] = 2;
    tga[16] = 24;
    tga += std::string("\x81\x00\x00\xff", 4);              // run of 2, blue-green-red order
    tga += std::string("\x01\x00\xff\x00\xff\x00\x00", 7);  // raw 2: green, blue
    write_file(c.dir.file("frame.tga"), tga);
    ASSERT_TRUE(c.run("frame.tga"));
    ASSERT_EQ(c.png.width, 2u);
    ASSERT_EQ(c.png.height, 2u);
    EXPECT_EQ(c.at(0, 0), green);
    EXPECT_EQ(c.at(1, 0), blue);
    EXPECT_EQ(c.at(0, 1), red);
    EXPECT_EQ(c.at(1, 1), red);
}

TEST(FrameToPng, ScalesByAveragingAndLaysSeveralFramesOutOnOneSheet) {
    Converter c;
    // 4 x 2, top row first: left half red over blue, right half white over black.
    std::string rgb;
    for (const Rgb& p : {red, red, white, white, blue, blue, black, black}) rgb.append(p.begin(), p.end());
    write_tga(c.dir.file("a.tga"), 4, 2, rgb);
    write_tga(c.dir.file("b.tga"), 4, 2, solid_rgb(4, 2, 0, 255, 0));

    ASSERT_TRUE(c.run("-w 2 a.tga"));
    ASSERT_EQ(c.png.width, 2u);
    ASSERT_EQ(c.png.height, 1u);  // the aspect kept
    EXPECT_EQ(c.at(0, 0), (Rgb{128, 0, 128}));
    EXPECT_EQ(c.at(1, 0), (Rgb{128, 128, 128}));

    ASSERT_TRUE(c.run("-c 1 a.tga b.tga"));
    ASSERT_EQ(c.png.width, 4u);
    ASSERT_EQ(c.png.height, 6u);  // two frames of 2 rows and a 2-row gap
    EXPECT_EQ(c.at(0, 0), red);
    EXPECT_EQ(c.at(3, 1), black);
    EXPECT_EQ(c.at(1, 2), black);
    EXPECT_EQ(c.at(1, 3), black);
    EXPECT_EQ(c.at(2, 4), green);
    EXPECT_EQ(c.at(3, 5), green);

    EXPECT_FALSE(c.run("missing.tga"));
}

}  // namespace
