#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "script_fixture.h"

namespace fs = std::filesystem;

namespace {

// A script that names itself through its one string.
std::string tagged(const std::string& id) {
    return "[image]\nstring " + id + "\n";
}

// The tags of the scripts parsed so far, in order of parsing.
std::vector<std::string> parsed_tags() {
    std::vector<std::string> out;
    for (const Section* s : parsed_sections()) out.push_back(s->string_count > 0 ? s->strings[0] : "?");
    return out;
}

std::set<std::string> parsed_tag_set() {
    std::vector<std::string> tags = parsed_tags();
    return {tags.begin(), tags.end()};
}

// Packs the contents of the directory `source` into the zip archive `archive` and removes
// `source`, so that the scripts exist only inside the archive. zip adds ".zip" to a name
// without an extension, so the archive is made under a fixed name and renamed.
void pack(const std::string& source, const std::string& archive) {
    std::string made = source + ".zip";
    std::string command = "cd '" + source + "' && zip -qr '" + made + "' .";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    fs::remove_all(source);
    fs::rename(made, archive);
}

// The order a depth-first walk in listing order gives, built with the standard library's
// own directory listing.
void listing_order(const fs::path& dir, const std::string& prefix, std::vector<std::string>& out) {
    for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
        std::string name = e.path().filename().string();
        if (e.is_directory()) {
            listing_order(e.path(), prefix + name + "/", out);
        } else if (name.find(".tvl") != std::string::npos) {
            out.push_back(prefix + name);
        }
    }
}

}  // namespace

using Discovery = ScriptTest;

TEST_F(Discovery, DepthFirstInListingOrder) {
    const char* scripts[] = {"a.tvl",       "m/b.tvl", "m/n/c.tvl", "m/n/o/d.tvl", "m/e.tvl",
                             "m/n/p/q.tvl", "z/f.tvl", "z/g.tvl",   "h.tvl",       "k/l/i.tvl"};
    for (const char* s : scripts) write_file(dir.file(s), tagged(s));
    std::vector<std::string> expected;
    listing_order(dir.path, "", expected);
    ASSERT_EQ(expected.size(), std::size(scripts));

    ASSERT_EQ(discover(), "");
    EXPECT_EQ(parsed_tags(), expected);
}

TEST_F(Discovery, PathsStartWithDotSlash) {
    write_file(dir.file("one/two/bad.tvl"), "[image]\nstart 1\noops 2\n");
    EXPECT_EQ(discover(), "Unknown section variable (script './one/two/bad.tvl', line 3)");
}

TEST_F(Discovery, NameContainsTvlAnywhereAndIsCaseSensitive) {
    for (const char* name : {"a.tvl.bak", "b.TVL", "c.tvlx", "dtvl", "e.tv", "f.Tvl", "g.tvl"}) {
        write_file(dir.file(name), tagged(name));
    }
    ASSERT_EQ(discover(), "");
    EXPECT_EQ(parsed_tag_set(), (std::set<std::string>{"a.tvl.bak", "c.tvlx", "g.tvl"}));
}

TEST_F(Discovery, ScriptsInsideAZipArchive) {
    write_file(dir.file("src/top.tvl"), tagged("top"));
    write_file(dir.file("src/scenes/intro.tvl"), tagged("intro"));
    write_file(dir.file("src/scenes/notes.txt"), "gl_width 1\n");
    pack(dir.file("src"), dir.file("pack.zip"));
    ASSERT_EQ(discover(), "");
    EXPECT_EQ(parsed_tag_set(), (std::set<std::string>{"top", "intro"}));
    EXPECT_EQ(gl_width, 800);
}

TEST_F(Discovery, ScriptPathRunsThroughTheArchiveName) {
    write_file(dir.file("src/inner/bad.tvl"), "\nnot_a_variable 1\n");
    pack(dir.file("src"), dir.file("broken.zip"));
    EXPECT_EQ(discover(), "Unknown variable (script './broken.zip/inner/bad.tvl', line 2)");
}

TEST_F(Discovery, ArchivesAreWalkedWhateverTheirExtension) {
    // The bare name comes first in the extension list, so any zip archive that is listed opens.
    for (const char* archive : {"data.dat", "more.DAT", "other.zip", "up.ZIP", "bare", "misc.pak"}) {
        write_file(dir.file("src/in.tvl"), tagged(archive));
        pack(dir.file("src"), dir.file(archive));
    }
    ASSERT_EQ(discover(), "");
    EXPECT_EQ(parsed_tag_set(),
              (std::set<std::string>{"data.dat", "more.DAT", "other.zip", "up.ZIP", "bare", "misc.pak"}));
}

TEST_F(Discovery, ArchiveExtensionsInOrderAndPlainFilesFirst) {
    // The path ./data/x.tvl resolves to the first of data, data.dat, data.DAT, data.zip,
    // data.ZIP that exists, and to a plain file before any of them.
    auto parsed_from = [&]() -> std::string {
        std::string error = fatal_message_of([] { script_parse("./data/x.tvl"); });
        if (!error.empty()) return error;
        return section_list != nullptr && section_list->string_count > 0 ? section_list->strings[0] : "?";
    };
    EXPECT_EQ(parsed_from(), "Error opening script './data/x.tvl'");
    for (const char* archive : {"data.ZIP", "data.zip", "data.DAT", "data.dat", "data"}) {
        write_file(dir.file("src/x.tvl"), tagged(archive));
        pack(dir.file("src"), dir.file(archive));
        EXPECT_EQ(parsed_from(), archive);
    }
    fs::remove(dir.file("data"));
    write_file(dir.file("data/x.tvl"), tagged("plain"));
    EXPECT_EQ(parsed_from(), "plain");
}

TEST_F(Discovery, DirectoriesAndArchivesNamedLikeScriptsAreWalkedNotParsed) {
    write_file(dir.file("scenes.tvl/inner.tvl"), tagged("inner"));
    write_file(dir.file("src/in.tvl"), tagged("in"));
    write_file(dir.file("src/sub.tvl/deep.tvl"), tagged("deep"));
    pack(dir.file("src"), dir.file("pack.tvl"));
    ASSERT_EQ(discover(), "");
    EXPECT_EQ(parsed_tag_set(), (std::set<std::string>{"inner", "in", "deep"}));
    EXPECT_EQ(parsed_sections().size(), 3u);
}

TEST_F(Discovery, FifosAndLinkLoopsDoNotStopTheWalk) {
    ASSERT_EQ(mkfifo(dir.file("pipe.tvl").c_str(), 0600), 0);
    write_file(dir.file("loop/x.tvl"), tagged("x"));
    fs::create_directory_symlink("..", dir.file("loop/up"));
    fs::create_directory_symlink("../loop", dir.file("loop/self"));
    write_file(dir.file("other/y.tvl"), tagged("y"));
    fs::create_directory_symlink("../other", dir.file("loop/side"));  // not a loop: walked again
    ASSERT_EQ(discover(), "");
    std::vector<std::string> tags = parsed_tags();
    EXPECT_EQ(std::count(tags.begin(), tags.end(), "x"), 1);
    EXPECT_EQ(std::count(tags.begin(), tags.end(), "y"), 2);
    EXPECT_EQ(tags.size(), 3u);
}

TEST_F(Discovery, PathsLongerThanTwoHundredFiftyFiveCharacters) {
    std::string relative;
    for (int i = 0; i < 6; ++i) relative += std::string(60, static_cast<char>('a' + i)) + "/";
    write_file(dir.file(relative + "deep.tvl"), "[image]\nend 0\n");
    std::string expected = "Invalid duration (script './" + relative + "deep.tvl', line 2)";
    ASSERT_GT(expected.size(), 300u);
    EXPECT_EQ(discover(), expected);
}

TEST_F(Discovery, EmptyTreeParsesNothing) {
    write_file(dir.file("readme.txt"), "gl_width 1\n");
    ASSERT_EQ(discover(), "");
    EXPECT_EQ(section_list, nullptr);
    EXPECT_EQ(gl_width, 800);
}
