// Replays every input kept under tests/regressions/<reader>/ through the reader its fuzz harness
// drives (fuzz/targets.h), in a scratch directory and with fatal errors caught. A clean fatal
// message is a sound end for a bad file; a crash, a sanitizer report (in the sanitizer build) or
// a broken promise fails.
#include <gtest/gtest.h>

#include <filesystem>
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

// Every reader's harness answers a bad input (or, for the TGA writer, an input it must write
// soundly) without a finding: a script whose second line is unknown, a spline whose second key
// lacks a channel, a 3DS main chunk claiming more than the file holds, a TGA header promising
// 65535 x 65535 pixels with none behind it, a zip whose central directory points past the end,
// and pictures for the writer: 300 x 1 in runs longer than a packet, and a size it must refuse.
TEST(Regressions, ReadersAnswerBadInputsWithoutFindings) {
    const std::pair<std::string, std::string> inputs[] = {
        {"script", "[image]\nbogus 1\n"},
        {"spline", "1 2 3\n4 5\n"},
        {"mesh", std::string("\x4d\x4d\xff\xff\x00\x00", 6)},
        {"image", std::string("\0\0\0\x02\0\0\0\0\0\0\0\0\0\xff\xff\xff\xff\x18\0", 19)},
        {"archive", std::string("PK\x05\x06\0\0\0\0\x01\0\x01\0\x2e\0\0\0\xff\xff\xff\x7f\0\0", 22)},
        {"tga", std::string("\x2B\x01\0\0\x03\x10\x20", 7) + std::string(40, '\0') + std::string(40, '\xE4')},
        {"tga", std::string("\x01\0\x01\0\x0E\x03", 6)},
    };
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name);
        const fuzz::Target* target = target_named(name);
        ASSERT_NE(target, nullptr);
        EXPECT_EQ(replay(*target, bytes), "");
    }
}
