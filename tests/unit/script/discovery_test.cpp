// Script discovery: which files are scripts, the order they are parsed in, archives in the walk.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
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

// The tags of the scripts parsed so far, in order of parsing or sorted.
std::vector<std::string> parsed_tags(const SectionList& sections, bool sorted = false) {
    std::vector<std::string> out;
    for (const Section* s : parsed_sections(sections))
        out.push_back(s->string_count > 0 ? s->strings[0] : "?");
    if (sorted) std::sort(out.begin(), out.end());
    return out;
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
    for (const char* s : {"a.tvl", "m/b.tvl", "m/n/c.tvl", "m/n/o/d.tvl", "m/e.tvl", "z/f.tvl", "h.tvl"})
        write_file(dir.file(s), tagged(s));
    std::vector<std::string> expected;
    listing_order(dir.path, "", expected);
    ASSERT_EQ(discover(), "");
    EXPECT_EQ(parsed_tags(sections), expected);
}

TEST_F(Discovery, ScriptsAreFilesWithTvlAnywhereInTheirName) {
    for (const char* name : {"a.tvl.bak", "b.TVL", "c.tvlx", "dtvl", "e.tv", "scenes.tvl/inner.tvl"})
        write_file(dir.file(name), tagged(name));
    write_file(dir.file("readme.txt"), "gl_width 1\n");
    // Neither a pipe nor a link loop stops the walk; a link to another directory of the demo is
    // walked again.
    ASSERT_EQ(mkfifo(dir.file("pipe.tvl").c_str(), 0600), 0);
    write_file(dir.file("loop/x.tvl"), tagged("x"));
    fs::create_directory_symlink("..", dir.file("loop/up"));
    fs::create_directory_symlink("../loop", dir.file("loop/self"));
    write_file(dir.file("other/y.tvl"), tagged("y"));
    fs::create_directory_symlink("../other", dir.file("loop/side"));
    // A link to a folder outside the demo is not followed (the maker's mode could not watch it).
    TempDir outside;
    write_file(outside.file("far.tvl"), tagged("far"));
    fs::create_directory_symlink(outside.path, dir.file("loop/out"));
    ASSERT_EQ(discover(), "");
    EXPECT_EQ(parsed_tags(sections, true),
              (std::vector<std::string>{"a.tvl.bak", "c.tvlx", "scenes.tvl/inner.tvl", "x", "y", "y"}));
    EXPECT_EQ(settings.gl_width, 800);
}

TEST_F(Discovery, ArchivesOfAnyNameAreWalkedAndNamedInThePath) {
    for (const char* archive : {"data.dat", "up.ZIP", "bare", "pack.tvl"}) {
        write_file(dir.file("src/in.tvl"), tagged(archive));
        write_file(dir.file("src/sub.tvl/deep.tvl"), tagged(std::string(archive) + " deep"));
        write_file(dir.file("src/notes.txt"), "gl_width 1\n");
        pack(dir.file("src"), dir.file(archive));
    }
    ASSERT_EQ(discover(), "");
    EXPECT_EQ(parsed_tags(sections, true),
              (std::vector<std::string>{"bare", "bare deep", "data.dat", "data.dat deep", "pack.tvl",
                                        "pack.tvl deep", "up.ZIP", "up.ZIP deep"}));
    EXPECT_EQ(settings.gl_width, 800);

    // The path named in a message runs through the archive and may pass 255 characters.
    reset();
    const std::string deep = std::string(250, 'd') + "/bad.tvl";
    write_file(dir.file("src/" + deep), "\nnot_a_variable 1\n");
    pack(dir.file("src"), dir.file("broken.zip"));
    EXPECT_EQ(discover(), "Unknown variable (script './broken.zip/" + deep + "', line 2)");
}
