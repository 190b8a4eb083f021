// Script discovery: which files are scripts, the order they are parsed in, archives in the walk.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "media_files.h"
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

std::multiset<std::string> parsed_tag_set() {
    std::vector<std::string> tags = parsed_tags();
    return {tags.begin(), tags.end()};
}

// Packs `source` into `archive` and removes it, so that its scripts exist only in the archive.
void pack(const std::string& source, const std::string& archive) {
    ASSERT_TRUE(media::zip_directory(source, archive));
    fs::remove_all(source);
}

// The order of a depth-first walk in listing order, from the standard library's own listing.
void listing_order(const fs::path& dir, const std::string& prefix, std::vector<std::string>& out) {
    for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
        std::string name = e.path().filename().string();
        if (e.is_directory()) {
            listing_order(e.path(), prefix + name + "/", out);
        } else {
            out.push_back(prefix + name);
        }
    }
}

}  // namespace

using Discovery = ScriptTest;

TEST_F(Discovery, DepthFirstInListingOrder) {
    for (const char* s : {"a.tvl", "m/b.tvl", "m/n/c.tvl", "m/n/o/d.tvl", "m/e.tvl", "m/n/p/q.tvl", "z/f.tvl",
                          "z/g.tvl", "h.tvl", "k/l/i.tvl"}) {
        write_file(dir.file(s), tagged(s));
    }
    std::vector<std::string> expected;
    listing_order(dir.path, "", expected);
    ASSERT_EQ(discover(), "");
    EXPECT_EQ(parsed_tags(), expected);
}

TEST_F(Discovery, ScriptsAreFilesWithTvlAnywhereInTheirName) {
    for (const char* name :
         {"a.tvl.bak", "b.TVL", "c.tvlx", "dtvl", "e.tv", "f.Tvl", "g.tvl", "scenes.tvl/inner.tvl"}) {
        write_file(dir.file(name), tagged(name));
    }
    write_file(dir.file("readme.txt"), "gl_width 1\n");
    // Neither a pipe nor a link loop stops the walk; a link to another directory is walked again.
    ASSERT_EQ(mkfifo(dir.file("pipe.tvl").c_str(), 0600), 0);
    write_file(dir.file("loop/x.tvl"), tagged("x"));
    fs::create_directory_symlink("..", dir.file("loop/up"));
    fs::create_directory_symlink("../loop", dir.file("loop/self"));
    write_file(dir.file("other/y.tvl"), tagged("y"));
    fs::create_directory_symlink("../other", dir.file("loop/side"));
    ASSERT_EQ(discover(), "");
    EXPECT_EQ(parsed_tag_set(), (std::multiset<std::string>{"a.tvl.bak", "c.tvlx", "g.tvl",
                                                            "scenes.tvl/inner.tvl", "x", "y", "y"}));
    EXPECT_EQ(gl_width, 800);
}

TEST_F(Discovery, ArchivesOfAnyNameAreWalkedAndNamedInThePath) {
    for (const char* archive :
         {"data.dat", "more.DAT", "other.zip", "up.ZIP", "bare", "misc.pak", "pack.tvl"}) {
        write_file(dir.file("src/in.tvl"), tagged(archive));
        write_file(dir.file("src/sub.tvl/deep.tvl"), tagged(std::string(archive) + " deep"));
        write_file(dir.file("src/notes.txt"), "gl_width 1\n");
        pack(dir.file("src"), dir.file(archive));
    }
    ASSERT_EQ(discover(), "");
    EXPECT_EQ(parsed_tags().size(), 14u);
    EXPECT_EQ(parsed_tag_set().count("bare deep"), 1u);
    EXPECT_EQ(parsed_tag_set().count("pack.tvl"), 1u);
    EXPECT_EQ(gl_width, 800);

    config_reset_defaults();
    write_file(dir.file("src/inner/bad.tvl"), "\nnot_a_variable 1\n");
    pack(dir.file("src"), dir.file("broken.zip"));
    EXPECT_EQ(discover(), "Unknown variable (script './broken.zip/inner/bad.tvl', line 2)");
}

TEST_F(Discovery, PathsLongerThanTwoHundredFiftyFiveCharacters) {
    std::string relative;
    for (int i = 0; i < 6; ++i) relative += std::string(60, static_cast<char>('a' + i)) + "/";
    write_file(dir.file(relative + "deep.tvl"), "[image]\nend 0\n");
    std::string expected = "Invalid duration (script './" + relative + "deep.tvl', line 2)";
    ASSERT_GT(expected.size(), 300u);
    EXPECT_EQ(discover(), expected);
}
