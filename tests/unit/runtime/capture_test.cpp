// The TGA writer checked by the strict reader of tools/media: every file decodes to the pixels
// given, rows of any width, and compressed files hold only canonical run-length packets.
#include "runtime/capture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <tuple>

#include "test_support.h"
#include "tga_reader.h"

TEST(TgaWriter, RandomPicturesDecodeStrictlyToThemselves) {
    // Rows of 1 to 300 pixels, so that odd row lengths occur. Mostly few colours in long
    // stretches, so that runs, raw packets and the 127 limit occur, also across row ends; every
    // third picture changes colour at nearly every pixel, so that raw packets reach the limit.
    std::mt19937 gen(1234);
    for (int round = 0; round < 300; ++round) {
        const int width = 1 + static_cast<int>(gen() % 300), height = 1 + static_cast<int>(gen() % 4);
        const int colours = round % 3 == 0 ? 250 : 1 + static_cast<int>(gen() % 4);
        const unsigned change = round % 3 == 0 ? 1 : 6;
        std::vector<uint8_t> rgb;
        for (int i = 0, c = 0; i < width * height; ++i) {
            if (i == 0 || gen() % change == 0) c = static_cast<int>(gen() % colours) * 40;
            rgb.insert(rgb.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), 7});
        }
        // Written, the input left as it was, and decoded strictly to the same picture.
        SCOPED_TRACE("round " + std::to_string(round));
        const bool compress = round % 2 == 0;
        TempDir dir;
        std::vector<uint8_t> copy = rgb;
        ASSERT_TRUE(tga_write(dir.file("a.tga").c_str(), copy.data(), width, height, compress));
        ASSERT_TRUE(copy == rgb) << "the writer changed its input";
        TgaPicture picture;
        ASSERT_EQ(tga_decode(read_file(dir.file("a.tga")), picture), "");
        ASSERT_EQ(std::tuple(picture.type, picture.width, picture.height),
                  std::tuple(compress ? 10 : 2, width, height));
        ASSERT_TRUE(picture.rgb == rgb) << "pixels differ";
    }
}

TEST(TgaWriter, ImpossibleFilesAndSizesAreSkippedWithoutAFile) {
    TempDir dir;
    uint8_t pixel[3] = {1, 2, 3};
    EXPECT_FALSE(tga_write(dir.file("missing/x.tga").c_str(), pixel, 1, 1, false));
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
    for (auto [w, h] : {std::pair{70000, 1}, {1, 65536}, {1, 0}, {1, -1}}) {
        EXPECT_FALSE(tga_write(dir.file("size.tga").c_str(), pixel, w, h, true)) << w << "x" << h;
        EXPECT_FALSE(std::filesystem::exists(dir.file("size.tga")));
    }
}

TEST(Screenshot, NameIsTheFirstFreeNumberUpTo99) {
    TempDir dir;
    ScopedChdir in(dir.path);
    EXPECT_EQ(screenshot_next_name(), "screen00.tga");
    write_file(dir.file("screen00.tga"), "x");
    write_file(dir.file("screen02.tga"), "x");
    EXPECT_EQ(screenshot_next_name(), "screen01.tga");
    for (int n = 0; n < 99; ++n)
        write_file(dir.file("screen" + std::to_string(100 + n).substr(1) + ".tga"), "x");
    EXPECT_EQ(screenshot_next_name(), "screen99.tga");
    write_file(dir.file("screen99.tga"), "x");
    // With every name taken, S says so and writes nothing.
    testing::internal::CaptureStderr();
    screenshot_save(false);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning: No screenshot saved: screen00.tga to screen99.tga all exist\n");
}
