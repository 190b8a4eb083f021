// The declared-size check that runs before the image library decodes a picture.
#include <gtest/gtest.h>

#include <string>

#include "media_files.h"
#include "resources/files.h"

namespace {

std::string tga(int type, int width, int height, int bits, size_t data_bytes) {
    return media::tga_header(width, height, type, bits, 0) + std::string(data_bytes, '\x11');
}

std::string bmp(int64_t width, int64_t height, int bits, size_t data_bytes, uint32_t compression = 0) {
    std::string b = "BM";
    for (uint32_t v : {0u, 0u, 54u, 40u}) media::put32le(b, v);
    media::put32le(b, static_cast<uint32_t>(width));
    media::put32le(b, static_cast<uint32_t>(height));
    media::put16le(b, 1);
    media::put16le(b, static_cast<unsigned>(bits));
    media::put32le(b, compression);
    return b + std::string(54 - b.size(), '\0') + std::string(data_bytes, '\x22');
}

// SOI, application segments of `app_bytes` payload in all, then a baseline frame header.
std::string jpeg(int width, int height, size_t app_bytes) {
    std::string j = "\xFF\xD8";
    for (size_t n; app_bytes > 0; app_bytes -= n) {
        n = app_bytes < 60000 ? app_bytes : 60000;
        j += "\xFF\xE1";
        media::put16be(j, static_cast<unsigned>(n + 2));
        j += std::string(n, '\xFF');  // fill bytes that look like markers must be skipped as data
    }
    j += std::string("\xFF\xC0\x00\x11\x08", 5);
    media::put16be(j, static_cast<unsigned>(height));
    media::put16be(j, static_cast<unsigned>(width));
    return j + std::string("\x03\x01\x11\x00\x02\x11\x00\x03\x11\x00\xFF\xD9", 12);
}

// A colour-mapped TGA: an image ID of 5 bytes and 256 24-bit entries before the pixels.
std::string mapped_tga(size_t data_bytes) {
    std::string m = tga(1, 2, 2, 8, 5 + 256 * 3 + data_bytes);
    m[0] = 5, m[1] = 1, m[6] = 1, m[7] = 24;  // ID length, a map, 256 entries of 24 bits
    return m;
}

struct HeaderCase {
    const char* name;
    std::string bytes;
    ImageKind kind;
    std::string problem;
};

const HeaderCase header_cases[] = {
    {"RawTgaWhole", tga(2, 4, 3, 24, 36), ImageKind::Tga, ""},
    {"RawTgaShort", tga(2, 4, 3, 24, 35), ImageKind::Tga, "Image data cut short"},
    {"RawTga32BitsShort", tga(2, 4, 3, 32, 47), ImageKind::Tga, "Image data cut short"},
    {"MappedTgaWhole", mapped_tga(4), ImageKind::Tga, ""},
    {"MappedTgaShort", mapped_tga(3), ImageKind::Tga, "Image data cut short"},
    // Two run packets of 24-bit pixels take 8 bytes and cover at most 256 pixels.
    {"RunLengthTgaAt128PixelsAPacket", tga(10, 16, 16, 24, 8), ImageKind::Tga, ""},
    {"RunLengthTgaPast128PixelsAPacket", tga(10, 16, 17, 24, 8), ImageKind::Tga, "Image data cut short"},
    {"TgaAtTheLimit", tga(2, 8192, 8192, 24, 0), ImageKind::Tga, "Image data cut short"},
    {"TgaPastTheLimit", tga(2, 8193, 8192, 24, 0), ImageKind::Tga, "Image too large (8193x8192)"},
    {"TgaDepthOf211Bits", tga(2, 4, 4, 211, 4 * 4 * 27), ImageKind::Tga,
     "Unsupported pixel depth (211 bits)"},
    // 3 pixels of 24 bits make 9 bytes, padded to 12 per row; a negative height is top-down.
    {"BmpPaddedRowsWhole", bmp(3, 2, 24, 24), ImageKind::Bmp, ""},
    {"BmpPaddedRowsShort", bmp(3, 2, 24, 23), ImageKind::Bmp, "Image data cut short"},
    {"BmpTopDown", bmp(3, -2, 24, 24), ImageKind::Bmp, ""},
    {"Bmp32Bits", bmp(2, 2, 32, 16), ImageKind::Bmp, ""},
    {"BmpPastTheLimit", bmp(10000, 65535, 24, 300), ImageKind::Bmp, "Image too large (10000x65535)"},
    {"BmpMostNegativeHeight", bmp(-65535, INT32_MIN, 24, 300), ImageKind::Bmp,
     "Image too large (65535x2147483648)"},
    {"BmpDepthOf65280Bits", bmp(256, -65526, 65280, 300), ImageKind::Bmp,
     "Unsupported pixel depth (65280 bits)"},
    // Run-length encoded pixels cannot be counted from the size; only the limit applies.
    {"BmpRunLength", bmp(512, 512, 8, 10, 1), ImageKind::Bmp, ""},
    {"JpegAtTheLimit", jpeg(8192, 8192, 0), ImageKind::Jpeg, ""},
    {"JpegFramePastLargeSegments", jpeg(20000, 9000, 130000), ImageKind::Jpeg,
     "Image too large (20000x9000)"},
    {"JpegWithoutFrame", std::string("\xFF\xD8\xFF\xD9", 4), ImageKind::Jpeg, ""},  // left to the library
};

}  // namespace

TEST(ImageHeader, ProblemIsFoundFromTheStreamPositionWhichIsKept) {
    for (const HeaderCase& c : header_cases) {
        std::string bytes = "junk" + c.bytes;
        SDL_RWops* stream = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
        SDL_RWseek(stream, 4, RW_SEEK_SET);
        EXPECT_EQ(image_header_problem(stream, c.kind), c.problem) << c.name;
        EXPECT_EQ(SDL_RWtell(stream), 4) << c.name;
        SDL_RWclose(stream);
    }
}
