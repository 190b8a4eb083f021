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
    // A stored entry of 4 bytes whose headers claim 1 GiB, written by hand: no packer writes one.
    auto le = [](std::string& out, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out += static_cast<char>(v >> (8 * i) & 0xFF);
    };
    const std::string name = "big.wav", data = "RIFF";
    const uint32_t claim = 1u << 30, crc = 0x0ef33e3d;  // crc32("RIFF")
    std::string zip, central;
    le(zip, 0x04034b50, 4);
    for (uint32_t v : {10u, 0u, 0u, 0u, 0u}) le(zip, v, 2);
    for (uint32_t v : {crc, claim, claim}) le(zip, v, 4);
    le(zip, static_cast<uint32_t>(name.size()), 2);
    le(zip, 0, 2);
    zip += name + data;
    le(central, 0x02014b50, 4);
    for (uint32_t v : {20u, 10u, 0u, 0u, 0u, 0u}) le(central, v, 2);
    for (uint32_t v : {crc, claim, claim}) le(central, v, 4);
    for (uint32_t v : {static_cast<uint32_t>(name.size()), 0u, 0u, 0u, 0u}) le(central, v, 2);
    le(central, 0, 4);
    le(central, 0, 4);
    central += name;
    const uint32_t at = static_cast<uint32_t>(zip.size());
    zip += central;
    le(zip, 0x06054b50, 4);
    for (uint32_t v : {0u, 0u, 1u, 1u}) le(zip, v, 2);
    le(zip, static_cast<uint32_t>(central.size()), 4);
    le(zip, at, 4);
    le(zip, 0, 2);
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
