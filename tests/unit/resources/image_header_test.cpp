// The declared-size check that runs before the image library decodes a picture.
#include <gtest/gtest.h>

#include <string>

#include "resources/files.h"
#include "resources/texture.h"
#include "test_support.h"

namespace {

std::string problem_of(const std::string& bytes, ImageKind kind, int start = 0) {
    SDL_RWops* stream = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
    SDL_RWseek(stream, start, RW_SEEK_SET);
    std::string problem = image_header_problem(stream, kind);
    int at = SDL_RWtell(stream);
    SDL_RWclose(stream);
    EXPECT_EQ(at, start) << "the stream must be left where it was";
    return problem;
}

void put16(std::string& s, size_t at, int v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& s, size_t at, int64_t v) {
    put16(s, at, static_cast<int>(v & 0xFFFF));
    put16(s, at + 2, static_cast<int>((v >> 16) & 0xFFFF));
}

std::string tga(int type, int width, int height, int bits, size_t data_bytes) {
    std::string h(18, '\0');
    h[2] = static_cast<char>(type);
    put16(h, 12, width);
    put16(h, 14, height);
    h[16] = static_cast<char>(bits);
    return h + std::string(data_bytes, '\x11');
}

std::string bmp(int64_t width, int64_t height, int bits, size_t data_bytes) {
    std::string b(54, '\0');
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 10, 54);
    put32(b, 14, 40);
    put32(b, 18, width);
    put32(b, 22, height);
    put16(b, 26, 1);
    put16(b, 28, bits);
    return b + std::string(data_bytes, '\x22');
}

// SOI, an application segment of `app_bytes` payload, then a baseline frame header.
std::string jpeg(int width, int height, size_t app_bytes) {
    std::string j = "\xFF\xD8";
    while (app_bytes > 0) {
        size_t n = app_bytes < 60000 ? app_bytes : 60000;
        j += "\xFF\xE1";
        j += static_cast<char>((n + 2) >> 8);
        j += static_cast<char>((n + 2) & 0xFF);
        j += std::string(n, '\xFF');  // fill bytes that look like markers must be skipped as data
        app_bytes -= n;
    }
    j += std::string("\xFF\xC0\x00\x11\x08", 5);
    j += static_cast<char>(height >> 8);
    j += static_cast<char>(height & 0xFF);
    j += static_cast<char>(width >> 8);
    j += static_cast<char>(width & 0xFF);
    return j + std::string("\x03\x01\x11\x00\x02\x11\x00\x03\x11\x00\xFF\xD9", 12);
}

}  // namespace

TEST(ImageHeader, UncompressedTgaMustHoldEveryPixel) {
    EXPECT_EQ(problem_of(tga(2, 4, 3, 24, 36), ImageKind::Tga), "");
    EXPECT_EQ(problem_of(tga(2, 4, 3, 24, 35), ImageKind::Tga), "Image data cut short");
    EXPECT_EQ(problem_of(tga(2, 4, 3, 32, 48), ImageKind::Tga), "");
    EXPECT_EQ(problem_of(tga(2, 4, 3, 32, 47), ImageKind::Tga), "Image data cut short");
    // An image ID and a colour map come before the pixels.
    std::string mapped = tga(1, 2, 2, 8, 5 + 256 * 3 + 4);
    mapped[0] = 5;
    mapped[1] = 1;
    put16(mapped, 5, 256);
    mapped[7] = 24;
    EXPECT_EQ(problem_of(mapped, ImageKind::Tga), "");
    mapped.pop_back();
    EXPECT_EQ(problem_of(mapped, ImageKind::Tga), "Image data cut short");
}

TEST(ImageHeader, RunLengthTgaMayClaimAtMost128PixelsPerPacket) {
    // Two run packets of 24-bit pixels take 8 bytes and cover at most 256 pixels.
    EXPECT_EQ(problem_of(tga(10, 16, 16, 24, 8), ImageKind::Tga), "");
    EXPECT_EQ(problem_of(tga(10, 16, 17, 24, 8), ImageKind::Tga), "Image data cut short");
    EXPECT_EQ(problem_of(tga(10, 65535, 65535, 24, 256), ImageKind::Tga), "Image too large (65535x65535)");
}

TEST(ImageHeader, PicturesPastTheLimitAreTooLargeWhateverTheirData) {
    EXPECT_EQ(problem_of(tga(2, 8192, 8192, 24, 0), ImageKind::Tga), "Image data cut short");
    EXPECT_EQ(problem_of(tga(2, 8193, 8192, 24, 0), ImageKind::Tga), "Image too large (8193x8192)");
    EXPECT_EQ(problem_of(bmp(10000, 65535, 24, 300), ImageKind::Bmp), "Image too large (10000x65535)");
    EXPECT_EQ(problem_of(jpeg(9000, 9000, 0), ImageKind::Jpeg), "Image too large (9000x9000)");
    EXPECT_EQ(problem_of(jpeg(8192, 8192, 0), ImageKind::Jpeg), "");
}

TEST(ImageHeader, BmpRowsArePaddedAndHeightMayBeNegative) {
    // 3 pixels of 24 bits make 9 bytes, padded to 12 per row.
    EXPECT_EQ(problem_of(bmp(3, 2, 24, 24), ImageKind::Bmp), "");
    EXPECT_EQ(problem_of(bmp(3, 2, 24, 23), ImageKind::Bmp), "Image data cut short");
    EXPECT_EQ(problem_of(bmp(3, -2, 24, 24), ImageKind::Bmp), "");
    EXPECT_EQ(problem_of(bmp(-65535, INT32_MIN, 24, 300), ImageKind::Bmp),
              "Image too large (65535x2147483648)");
    // Run-length encoded pixels cannot be counted from the size; only the limit applies.
    std::string rle = bmp(512, 512, 8, 10);
    put32(rle, 30, 1);
    EXPECT_EQ(problem_of(rle, ImageKind::Bmp), "");
}

TEST(ImageHeader, JpegFrameIsFoundPastLargeSegments) {
    EXPECT_EQ(problem_of(jpeg(20000, 9000, 130000), ImageKind::Jpeg), "Image too large (20000x9000)");
    EXPECT_EQ(problem_of(jpeg(640, 480, 130000), ImageKind::Jpeg), "");
    // No frame header at all: left to the image library.
    EXPECT_EQ(problem_of(std::string("\xFF\xD8\xFF\xD9", 4), ImageKind::Jpeg), "");
}

TEST(ImageHeader, TheCheckReadsFromTheStreamPosition) {
    std::string shifted = "junk" + tga(2, 2, 2, 24, 12);
    EXPECT_EQ(problem_of(shifted, ImageKind::Tga, 4), "");
    EXPECT_EQ(problem_of(shifted.substr(0, shifted.size() - 1), ImageKind::Tga, 4), "Image data cut short");
}

TEST(ImageHeader, TextureLoadReportsTheProblemWithThePath) {
    TempDir dir;
    ScopedChdir cd(dir.path);
    texture_table_reset();
    write_file("cut.tga", tga(2, 64, 64, 24, 64 * 10 * 3));
    write_file("huge.bmp", bmp(10000, 65535, 24, 300));
    write_file("whole.tga", tga(2, 4, 4, 24, 48));
    EXPECT_EQ(fatal_message_of([] { texture_load("cut.tga"); }),
              "Error loading 'cut.tga': Image data cut short");
    EXPECT_EQ(fatal_message_of([] { texture_load("huge.bmp"); }),
              "Error loading 'huge.bmp': Image too large (10000x65535)");
    EXPECT_EQ(fatal_message_of([] { texture_load("whole.tga"); }), "");
    EXPECT_EQ(texture_count, 1);
    texture_table_reset();
}
