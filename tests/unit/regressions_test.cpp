// Replays every input kept under tests/regressions/<reader>/ through the reader its fuzz harness
// drives (fuzz/targets.h), in a scratch directory and with fatal errors caught. A clean fatal
// message is a sound end for a bad file; a crash, a sanitizer report (in the sanitizer build) or
// a broken promise fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "../../fuzz/targets.h"
#include "test_support.h"

namespace fs = std::filesystem;

// The audio libraries' own leaks on damaged files (see fuzz::library_leaks).
extern "C" const char* __lsan_default_suppressions() {
    return fuzz::library_leaks;
}

TEST(Regressions, EveryKeptInputEndsCleanlyInItsReader) {
    const fs::path kept = fs::path(__FILE__).parent_path().parent_path() / "regressions";
    ASSERT_TRUE(fs::is_directory(kept)) << kept;
    int replayed = 0;
    for (const auto& reader : fs::directory_iterator(kept)) {
        if (!reader.is_directory()) continue;
        std::string name = reader.path().filename().string();
        const auto* target = std::find_if(std::begin(fuzz::targets), std::end(fuzz::targets),
                                          [&](const fuzz::Target& t) { return name == t.name; });
        ASSERT_NE(target, std::end(fuzz::targets)) << "no reader named " << name << " for " << reader.path();
        for (const auto& input : fs::directory_iterator(reader.path())) {
            if (!input.is_regular_file()) continue;
            SCOPED_TRACE(input.path().string());
            const std::string bytes = read_file(input.path().string());
            TempDir scratch;
            ScopedChdir in(scratch.path);
            FatalCatcher catcher;
            EXPECT_EQ(target->run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), "");
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0);
}
