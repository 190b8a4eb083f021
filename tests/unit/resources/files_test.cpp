// The archive-aware file layer: where a path is found, and SDL streams through it.
#include "resources/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "media_files.h"
#include "test_support.h"

namespace {

std::string read_all(const char* path) {
    ZzipFile f(file_open(path));
    if (f == nullptr) return "<missing>";
    std::string out;
    char buffer[256];
    zzip_ssize_t n;
    while ((n = zzip_read(f.get(), buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
    return out;
}

struct Files : ::testing::Test {
    Files() : cd(dir.path) {}
    // Packs `files` (relative path -> contents) into `archive` under the working directory.
    void pack(const std::string& archive, const std::map<std::string, std::string>& files) {
        TempDir staging;
        for (const auto& [path, contents] : files) write_file(staging.file(path), contents);
        ASSERT_TRUE(media::zip_directory(staging.path, dir.file(archive)));
    }
    TempDir dir;
    ScopedChdir cd;
};

}  // namespace

TEST_F(Files, ArchiveExtensionsInTheirOrderAndAPlainFileFirst) {
    EXPECT_EQ(read_all("data/x.txt"), "<missing>");
    // Added from the last tried to the first, each new archive takes over.
    for (const char* archive : {"data.ZIP", "data.zip", "data.DAT", "data.dat", "data"}) {
        pack(archive, {{"x.txt", archive}, {"fonts/font.tga", "glyphs"}});
        EXPECT_EQ(read_all("data/x.txt"), archive);
        EXPECT_EQ(read_all("data/fonts/font.tga"), "glyphs");
        EXPECT_TRUE(file_exists("data/x.txt"));
        EXPECT_FALSE(file_exists("data/y.txt"));
    }
    std::filesystem::remove(dir.file("data"));
    write_file(dir.file("data/x.txt"), "plain");
    EXPECT_EQ(read_all("data/x.txt"), "plain");
    EXPECT_EQ(read_all("data/fonts/font.tga"), "glyphs");  // still from data.dat
    // An archive can stand for a nested directory, and listings descend into archives.
    pack("data/more.zip", {{"a.tga", "nested"}, {"b/c.tvl", "listed"}});
    EXPECT_EQ(read_all("data/more/a.tga"), "nested");
    ZzipDir listing(dir_open("data/more"));
    ASSERT_NE(listing, nullptr);
    std::set<std::string> names;
    while (ZZIP_DIRENT* e = zzip_readdir(listing.get())) names.insert(e->d_name);
    EXPECT_TRUE(names.count("a.tga") && names.count("b/c.tvl")) << names.size();
    EXPECT_EQ(dir_open("nothing"), nullptr);
    // The whole demo by the names scripts use: a plain file once, though an archive holds it too.
    std::vector<std::string> all = file_list(100);
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (std::vector<std::string>{"data.DAT", "data.ZIP", "data.dat", "data.zip",
                                             "data/fonts/font.tga", "data/more.zip", "data/more/a.tga",
                                             "data/more/b/c.tvl", "data/x.txt"}));
    EXPECT_EQ(file_list(2).size(), 2u);
}

TEST_F(Files, AnEntryIsReadToItsRealEndNotToTheSizeItClaims) {
    // A stored entry of 4 bytes whose headers are made to claim 1 GiB: no packer writes one.
    pack("data.zip", {{"big.wav", "RIFF"}});
    std::string zip = read_file(dir.file("data.zip"));
    ASSERT_EQ(zip.substr(0, 4), "PK\x03\x04");
    for (size_t at : {size_t{18}, size_t{22}, zip.find("PK\x01\x02") + 20, zip.find("PK\x01\x02") + 24})
        zip.replace(at, 4, std::string("\0\0\0\x40", 4));
    write_file(dir.file("data.zip"), zip);
    ZzipFile f(file_open("data/big.wav"));
    ASSERT_NE(f, nullptr);
    // Whatever it yields, a stored entry holds no more than the archive's bytes.
    std::vector<unsigned char> got;
    file_read_all(f.get(), got);
    EXPECT_LE(got.size(), zip.size());
    // And a plain file past the bound is refused as too large, not read.
    write_file(dir.file("small.txt"), "12345");
    ZzipFile small(file_open("small.txt"));
    EXPECT_FALSE(file_read_all(small.get(), got, 4));
    EXPECT_EQ(errno, EFBIG);
}
