// Replays every input kept under tests/regressions/<reader>/ through the reader its fuzz harness
// drives (fuzz/targets.h), in a scratch directory and with fatal errors caught. A clean fatal
// message is a sound end for a bad file; a crash, a sanitizer report (in the sanitizer build) or
// a broken promise fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "../../fuzz/targets.h"
#include "test_support.h"

namespace fs = std::filesystem;

// The audio libraries' own leaks on damaged files (see fuzz::library_leaks).
extern "C" const char* __lsan_default_suppressions() {
    return fuzz::library_leaks;
}

namespace {

fs::path regressions_dir() {
    return fs::path(__FILE__).parent_path().parent_path() / "regressions";
}

const fuzz::Target* target_named(const std::string& name) {
    for (const fuzz::Target& t : fuzz::targets) {
        if (name == t.name) return &t;
    }
    return nullptr;
}

std::string replay(const fuzz::Target& target, const std::string& bytes) {
    TempDir scratch;
    ScopedChdir in(scratch.path);
    FatalCatcher catcher;
    return target.run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

TEST(Regressions, EveryKeptInputEndsCleanlyInItsReader) {
    ASSERT_TRUE(fs::is_directory(regressions_dir())) << regressions_dir();
    int replayed = 0;
    for (const auto& reader : fs::directory_iterator(regressions_dir())) {
        if (!reader.is_directory()) continue;
        std::string name = reader.path().filename().string();
        const fuzz::Target* target = target_named(name);
        ASSERT_NE(target, nullptr) << "no reader named " << name << " for " << reader.path();
        for (const auto& input : fs::directory_iterator(reader.path())) {
            if (!input.is_regular_file()) continue;
            SCOPED_TRACE(input.path().string());
            EXPECT_EQ(replay(*target, read_file(input.path().string())), "");
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0);
}

// The replay itself must notice a broken promise, not only a crash: a TGA round trip is checked
// against the strict reader, so a good input passes and the checks see what they are given.
TEST(Regressions, TgaRoundTripPassesForRunsAndRawPixels) {
    const fuzz::Target* tga = target_named("tga");
    ASSERT_NE(tga, nullptr);
    // 300 x 1, compressed, palette mode: runs longer than one packet and near-equal colours.
    std::string runs = {char(0x2B), char(0x01), 0, 0, 3, char(0x10), char(0x20)};
    runs += std::string(40, char(0x00)) + std::string(40, char(0xE4)) + std::string(20, char(0x0F));
    EXPECT_EQ(replay(*tga, runs), "");
    // 7 x 5, uncompressed and compressed, raw bytes.
    std::string raw = {7 - 1, 0, 5 - 1, 0, 0, 'a', 'b', 'c', 'd', 'e'};
    EXPECT_EQ(replay(*tga, raw), "");
    raw[4] = 1;
    EXPECT_EQ(replay(*tga, raw), "");
    // Sizes the header cannot hold.
    for (char which = 0; which < 5; ++which) {
        EXPECT_EQ(replay(*tga, std::string{1, 0, 1, 0, 0x0E, which}), "");
    }
}

TEST(Regressions, ReadersAnswerBadInputsWithoutFindings) {
    // A script whose second line is unknown, a spline whose second key lacks a channel, a 3DS
    // main chunk claiming more than the file holds, a TGA header promising 65535 x 65535 pixels
    // with none behind it, and a zip whose central directory points past the end of the file.
    std::map<std::string, std::string> inputs = {
        {"script", "[image]\nbogus 1\n"},
        {"spline", "1 2 3\n4 5\n"},
        {"mesh", std::string("\x4d\x4d\xff\xff\x00\x00", 6)},
        {"image", std::string("\0\0\0\x02\0\0\0\0\0\0\0\0\0\xff\xff\xff\xff\x18\0", 19)},
        {"archive", std::string("PK\x05\x06\0\0\0\0\x01\0\x01\0\x2e\0\0\0\xff\xff\xff\x7f\0\0", 22)},
    };
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name);
        const fuzz::Target* target = target_named(name);
        ASSERT_NE(target, nullptr);
        EXPECT_EQ(replay(*target, bytes), "");
    }
}
