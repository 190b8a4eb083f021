// The TGA writer checked by the strict reader of tools/media: every file decodes to the pixels
// given, rows of any width, and compressed files hold only canonical run-length packets.
#include "core/capture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>

#include "test_support.h"
#include "tga_reader.h"

namespace {

using Pixels = std::vector<uint8_t>;

struct Picture {
    const char* name;
    int width, height;
    std::function<int(int)> colour;  // pixel index -> colour number
};

Pixels paint(const Picture& p) {
    Pixels rgb;
    for (int i = 0; i < p.width * p.height; ++i) {
        int c = p.colour(i);
        rgb.insert(rgb.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), 7});
    }
    return rgb;
}

// Writes `rgb` and decodes the file strictly; returns the reader's complaint, "" when sound.
std::string round_trip(const Pixels& rgb, int width, int height, bool compress) {
    TempDir dir;
    Pixels copy = rgb;
    std::string path = dir.file("a.tga");
    if (!tga_write(path.c_str(), copy.data(), width, height, compress)) return "not written";
    if (copy != rgb) return "the writer changed its input";
    TgaPicture picture;
    std::string problem = tga_decode(read_file(path), picture);
    if (!problem.empty()) return problem;
    if (picture.type != (compress ? 10 : 2)) return "image type " + std::to_string(picture.type);
    if (picture.width != width || picture.height != height) return "wrong size";
    return picture.rgb == rgb ? "" : "pixels differ";
}

const Picture pictures[] = {
    {"OnePixel", 1, 1, [](int) { return 1; }},
    {"PairBetweenTwoSingles", 4, 1, [](int i) { return i == 0 ? 1 : 2 + (i == 3); }},
    {"OddRowsOfNineBytes", 3, 2, [](int i) { return i; }},
    {"RunsAcrossRowEnds", 5, 3, [](int i) { return i / 4; }},
    {"RunLongerThanAPacket", 300, 1, [](int) { return 5; }},
    {"RawThenRunAtTheLimit", 254, 1, [](int i) { return i < 127 ? i : 999; }},
};

void PrintTo(const Picture& p, std::ostream* os) {
    *os << p.name;
}

class TgaPictures : public ::testing::TestWithParam<std::tuple<Picture, bool>> {};

}  // namespace

TEST_P(TgaPictures, DecodeStrictlyToThemselves) {
    const auto& [picture, compress] = GetParam();
    EXPECT_EQ(round_trip(paint(picture), picture.width, picture.height, compress), "");
}

INSTANTIATE_TEST_SUITE_P(Writer, TgaPictures,
                         ::testing::Combine(::testing::ValuesIn(pictures), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "Compressed" : "Raw");
                         });

TEST(TgaWriter, RandomPicturesOfFewColoursDecodeStrictly) {
    // Few colours and long stretches, so that runs, raw packets and the 127 limit all occur,
    // also across row ends.
    std::mt19937 gen(1234);
    for (int round = 0; round < 200; ++round) {
        int colours = 1 + static_cast<int>(gen() % 4);
        std::vector<int> stretch(1);
        Picture p{"random", 1 + static_cast<int>(gen() % 300), 1 + static_cast<int>(gen() % 4), [&](int i) {
                      if (i == 0 || gen() % 6 == 0) stretch[0] = static_cast<int>(gen() % colours) * 40;
                      return stretch[0];
                  }};
        ASSERT_EQ(round_trip(paint(p), p.width, p.height, true), "") << "round " << round;
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
    EXPECT_EQ(screenshot_next_name(), "");
    // With every name taken, S says so and writes nothing.
    testing::internal::CaptureStderr();
    screenshot_save();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning: No screenshot saved: screen00.tga to screen99.tga all exist\n");
}
