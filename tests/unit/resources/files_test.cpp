#include "resources/files.h"

#include <gtest/gtest.h>

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

// A text long enough for the zip tool to deflate it, each position telling its offset.
std::string long_text() {
    std::string s;
    for (int i = 0; s.size() < 5000; ++i) s += "line " + std::to_string(i) + "\n";
    return s;
}

struct Archive {
    Archive() : cd(dir.path) {}
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

TEST(Files, FindsPathsInsideArchivesOfEveryExtension) {
    for (const char* ext : {"", ".dat", ".DAT", ".zip", ".ZIP"}) {
        Archive a;
        a.pack(std::string("data") + ext, {{"logo.txt", "packed"}, {"fonts/font.tga", "glyphs"}});
        EXPECT_EQ(read_all("data/logo.txt"), "packed") << "archive data" << ext;
        EXPECT_EQ(read_all("data/fonts/font.tga"), "glyphs") << "archive data" << ext;
        EXPECT_TRUE(file_exists("data/logo.txt"));
        EXPECT_FALSE(file_exists("data/other.txt"));
    }
}

TEST(Files, AnArchiveCanStandForANestedDirectory) {
    Archive a;
    write_file(a.dir.file("data/readme"), "plain");
    a.pack("data/fonts.zip", {{"font.tga", "from fonts.zip"}});
    EXPECT_EQ(read_all("data/fonts/font.tga"), "from fonts.zip");
    EXPECT_EQ(read_all("data/readme"), "plain");
}

TEST(Files, APlainFileWinsOverTheArchive) {
    Archive a;
    a.pack("data.dat", {{"pic.txt", "archived"}, {"only.txt", "archived only"}});
    write_file(a.dir.file("data/pic.txt"), "plain");
    EXPECT_EQ(read_all("data/pic.txt"), "plain");
    EXPECT_EQ(read_all("data/only.txt"), "archived only");
}

TEST(Files, DirectoryListingDescendsIntoArchives) {
    Archive a;
    a.pack("demo.zip", {{"intro.tvl", "x"}, {"media/a.tga", "y"}});
    ZzipDir dir(dir_open("demo"));
    ASSERT_NE(dir, nullptr);
    std::set<std::string> names;
    while (ZZIP_DIRENT* e = zzip_readdir(dir.get())) names.insert(e->d_name);
    EXPECT_TRUE(names.count("intro.tvl")) << names.size();
    EXPECT_TRUE(names.count("media/a.tga")) << names.size();
    EXPECT_EQ(dir_open("nothing"), nullptr);
}

TEST(FileStream, ReadsCountWholeObjectsAndSeekWorksInsideArchives) {
    Archive a;
    std::string text = long_text();
    a.pack("data.zip", {{"text.txt", text}});
    write_file(a.dir.file("plain.txt"), text);
    for (const char* path : {"data/text.txt", "plain.txt"}) {
        SCOPED_TRACE(path);
        SDL_RWops* rw = file_rwops_open(path, "rb");
        ASSERT_NE(rw, nullptr);
        char buffer[64] = {};
        EXPECT_EQ(SDL_RWread(rw, buffer, 1, 10), 10);
        EXPECT_EQ(std::string(buffer, 10), text.substr(0, 10));
        EXPECT_EQ(SDL_RWread(rw, buffer, 4, 3), 3);  // objects, not bytes
        EXPECT_EQ(std::string(buffer, 12), text.substr(10, 12));
        EXPECT_EQ(SDL_RWtell(rw), 22);

        EXPECT_EQ(SDL_RWseek(rw, 3000, RW_SEEK_SET), 3000);
        EXPECT_EQ(SDL_RWread(rw, buffer, 1, 8), 8);
        EXPECT_EQ(std::string(buffer, 8), text.substr(3000, 8));
        EXPECT_EQ(SDL_RWseek(rw, -100, RW_SEEK_CUR), 2908);
        EXPECT_EQ(SDL_RWread(rw, buffer, 2, 3), 3);
        EXPECT_EQ(std::string(buffer, 6), text.substr(2908, 6));
        int size = static_cast<int>(text.size());
        EXPECT_EQ(SDL_RWseek(rw, -5, RW_SEEK_END), size - 5);
        // Five bytes left: two whole objects of two bytes.
        EXPECT_EQ(SDL_RWread(rw, buffer, 2, 10), 2);
        EXPECT_EQ(SDL_RWread(rw, buffer, 1, 10), 0);
        EXPECT_EQ(SDL_RWwrite(rw, "x", 1, 1), 0);
        EXPECT_EQ(SDL_RWclose(rw), 0);
    }
    EXPECT_EQ(file_rwops_open("data/none.txt", "rb"), nullptr);
    EXPECT_STREQ(SDL_GetError(), "Couldn't open data/none.txt");
}

TEST(FileStream, WriteModesUseOrdinaryFiles) {
    Archive a;
    SDL_RWops* rw = file_rwops_open("out.bin", "wb");
    ASSERT_NE(rw, nullptr);
    EXPECT_EQ(SDL_RWwrite(rw, "abc", 1, 3), 3);
    SDL_RWclose(rw);
    EXPECT_EQ(read_file(a.dir.file("out.bin")), "abc");
    EXPECT_EQ(file_rwops_open("no/such/dir/out.bin", "wb"), nullptr);
    EXPECT_STREQ(SDL_GetError(), "Couldn't open no/such/dir/out.bin");
}

TEST(FileImage, DecodesImagesInsideArchivesByContentOrTgaExtension) {
    Archive a;
    media::Bytes pattern = media::pattern_rgb(6, 4);
    a.pack("data.dat", {{"images/pic.Tga", media::tga(6, 4, pattern, 24)},
                        {"images/pic.jpg", media::jpeg(8, 8, solid_rgb(8, 8, 30, 60, 90))},
                        {"images/pic.bmp", media::bmp(6, 4, pattern, 24)},
                        {"images/tga_without_extension", media::tga(6, 4, pattern, 24)}});

    SurfacePtr tga(file_image_load("data/images/pic.Tga"));
    ASSERT_NE(tga, nullptr) << SDL_GetError();
    EXPECT_EQ(tga->w, 6);
    EXPECT_EQ(tga->h, 4);
    const auto* row = static_cast<const unsigned char*>(tga->pixels) + tga->pitch * 3;
    EXPECT_EQ(row[5 * 3 + 2], 5);  // red of (5, 3), stored blue first
    EXPECT_EQ(row[5 * 3 + 1], 3);

    SurfacePtr jpg(file_image_load("data/images/pic.jpg"));
    ASSERT_NE(jpg, nullptr) << SDL_GetError();
    EXPECT_EQ(jpg->format->BitsPerPixel, 24);
    SurfacePtr bmp(file_image_load("data/images/pic.bmp"));
    ASSERT_NE(bmp, nullptr) << SDL_GetError();
    EXPECT_EQ(bmp->w, 6);

    EXPECT_EQ(file_image_load("data/images/tga_without_extension"), nullptr);
    EXPECT_STREQ(SDL_GetError(), "Unsupported image format");
}
