#include "core/capture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "tga_reader.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes pixels_of(std::initializer_list<std::array<uint8_t, 3>> list) {
    Bytes out;
    for (const auto& p : list) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes encode(const Bytes& rgb) {
    return tga_rle_encode(rgb.data(), rgb.size() / 3);
}

std::string as_string(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace

TEST(TgaHeader, HoldsTypeSizeAndDepth) {
    auto raw = tga_header(640, 480, false);
    Bytes expected = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x02, 0xE0, 0x01, 24, 0};
    EXPECT_EQ(Bytes(raw.begin(), raw.end()), expected);
    auto rle = tga_header(1, 300, true);
    expected = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0x2C, 0x01, 24, 0};
    EXPECT_EQ(Bytes(rle.begin(), rle.end()), expected);
}

TEST(TgaRle, PacketsForTheTypicalRows) {
    // Two equal pixels: one run packet, the pixel stored blue first.
    EXPECT_EQ(encode(pixels_of({{1, 2, 3}, {1, 2, 3}})), (Bytes{0x81, 3, 2, 1}));
    // Three different pixels: one raw packet.
    EXPECT_EQ(encode(pixels_of({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}})), (Bytes{0x02, 3, 2, 1, 6, 5, 4, 9, 8, 7}));
    // P Q Q R: raw P, run of two Q, raw R.
    EXPECT_EQ(encode(pixels_of({{1, 1, 1}, {2, 2, 2}, {2, 2, 2}, {3, 3, 3}})),
              (Bytes{0x00, 1, 1, 1, 0x81, 2, 2, 2, 0x00, 3, 3, 3}));
    // A single pixel, and nothing at all.
    EXPECT_EQ(encode(pixels_of({{9, 8, 7}})), (Bytes{0x00, 7, 8, 9}));
    EXPECT_TRUE(encode({}).empty());
}

TEST(TgaRle, LongRunsAndRawStretchesSplitAt127) {
    Bytes same;
    for (int i = 0; i < 300; ++i) same.insert(same.end(), {10, 20, 30});
    EXPECT_EQ(encode(same), (Bytes{0xFE, 30, 20, 10, 0xFE, 30, 20, 10, 0xAD, 30, 20, 10}));

    Bytes ramp;
    for (int i = 0; i < 130; ++i) ramp.insert(ramp.end(), {static_cast<uint8_t>(i), 0, 0});
    Bytes packets = encode(ramp);
    ASSERT_EQ(packets.size(), 1 + 127 * 3 + 1 + 3 * 3u);
    EXPECT_EQ(packets[0], 126);
    EXPECT_EQ(packets[1 + 127 * 3], 2);
}

TEST(TgaRle, RandomPicturesDecodeStrictlyToThemselves) {
    std::mt19937 gen(1234);
    for (int round = 0; round < 200; ++round) {
        int width = 1 + static_cast<int>(gen() % 300);
        int height = 1 + static_cast<int>(gen() % 4);
        // Few colours and long stretches, so that runs, raw packets and the 127 limit all occur,
        // also across row ends.
        int colours = 1 + static_cast<int>(gen() % 4);
        Bytes rgb;
        std::array<uint8_t, 3> colour{};
        for (int i = 0; i < width * height; ++i) {
            if (gen() % 6 == 0 || i == 0) {
                uint8_t c = static_cast<uint8_t>(gen() % colours);
                colour = {c, static_cast<uint8_t>(c * 7), static_cast<uint8_t>(255 - c)};
            }
            rgb.insert(rgb.end(), colour.begin(), colour.end());
        }
        auto header = tga_header(width, height, true);
        Bytes packets = encode(rgb);
        std::string file =
            as_string(header.data(), header.size()) + as_string(packets.data(), packets.size());
        TgaPicture picture;
        ASSERT_EQ(tga_decode(file, picture), "") << "round " << round;
        EXPECT_EQ(picture.rgb, rgb) << "round " << round;
    }
}

TEST(TgaWrite, RawFileHoldsBgrRowsBottomFirstAndKeepsTheBuffer) {
    TempDir dir;
    // 3 x 2, bottom row first; a row of 9 bytes is not a multiple of 4.
    Bytes rgb = pixels_of({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}, {13, 14, 15}, {16, 17, 18}});
    Bytes copy = rgb;
    std::string path = dir.file("a.tga");
    ASSERT_TRUE(tga_write(path.c_str(), rgb.data(), 3, 2, false));
    EXPECT_EQ(rgb, copy);

    std::string bytes = read_file(path);
    auto header = tga_header(3, 2, false);
    Bytes body = {3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10, 15, 14, 13, 18, 17, 16};
    EXPECT_EQ(bytes, as_string(header.data(), header.size()) + as_string(body.data(), body.size()));
}

TEST(TgaWrite, FileThatCannotBeCreatedIsSkipped) {
    TempDir dir;
    Bytes rgb = pixels_of({{1, 2, 3}});
    std::string path = dir.file("missing/x.tga");
    EXPECT_FALSE(tga_write(path.c_str(), rgb.data(), 1, 1, false));
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
    // Sizes the header cannot hold are refused rather than written with a wrong header.
    std::string wide = dir.file("wide.tga");
    EXPECT_FALSE(tga_write(wide.c_str(), rgb.data(), 70000, 1, false));
    EXPECT_FALSE(std::filesystem::exists(wide));
}

TEST(Screenshot, NameIsTheFirstFreeNumber) {
    TempDir dir;
    ScopedChdir in(dir.path);
    EXPECT_EQ(screenshot_next_name(), "screen00.tga");
    write_file(dir.file("screen00.tga"), "x");
    write_file(dir.file("screen01.tga"), "x");
    EXPECT_EQ(screenshot_next_name(), "screen02.tga");
    std::filesystem::remove(dir.file("screen00.tga"));
    EXPECT_EQ(screenshot_next_name(), "screen00.tga");
    for (int n = 0; n < 100; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "screen%02d.tga", n);
        write_file(dir.file(name), "x");
    }
    EXPECT_EQ(screenshot_next_name(), "");
}
