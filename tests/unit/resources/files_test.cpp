// The archive-aware file layer: where a path is found, SDL streams through it, and pictures: the
// declared-size check before the image library decodes, PNGs of every colour type, content over name.
#include "resources/files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "media_files.h"
#include "test_support.h"

namespace {

std::string read_all(const char* path) {
    ZzipFile f(file_open(path));
    std::vector<unsigned char> bytes;
    if (f == nullptr || !file_read_all(f.get(), bytes)) return "<missing>";
    return std::string(bytes.begin(), bytes.end());
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

std::string tga(int type, int width, int height, int bits, size_t data_bytes) {
    return media::tga_header(width, height, type, bits, 0) + std::string(data_bytes, '\x11');
}

std::string bmp(int64_t width, int64_t height, int bits, size_t data_bytes, uint32_t compression = 0) {
    std::string b = "BM";
    for (uint32_t v : {0u, 0u, 54u, 40u}) media::put32le(b, v);
    media::put32le(b, static_cast<uint32_t>(width));
    media::put32le(b, static_cast<uint32_t>(height));
    media::put16le(b, 1);
    media::put16le(b, static_cast<unsigned>(bits));
    media::put32le(b, compression);
    return b + std::string(54 - b.size(), '\0') + std::string(data_bytes, '\x22');
}

// SOI, application segments of `app_bytes` payload in all, then a baseline frame header.
std::string jpeg(int width, int height, size_t app_bytes) {
    std::string j = "\xFF\xD8";
    for (size_t n; app_bytes > 0; app_bytes -= n) {
        n = app_bytes < 60000 ? app_bytes : 60000;
        j += "\xFF\xE1";
        media::put16be(j, static_cast<unsigned>(n + 2));
        j += std::string(n, '\xFF');  // fill bytes that look like markers must be skipped as data
    }
    j += std::string("\xFF\xC0\x00\x11\x08", 5);
    media::put16be(j, static_cast<unsigned>(height));
    media::put16be(j, static_cast<unsigned>(width));
    return j + std::string("\x03\x01\x11\x00\x02\x11\x00\x03\x11\x00\xFF\xD9", 12);
}

// A colour-mapped TGA: an image ID of 5 bytes and 256 24-bit entries before the pixels.
std::string mapped_tga(size_t data_bytes) {
    std::string m = tga(1, 2, 2, 8, 5 + 256 * 3 + data_bytes);
    m[0] = 5, m[1] = 1, m[6] = 1, m[7] = 24;  // ID length, a map, 256 entries of 24 bits
    return m;
}

struct HeaderCase {
    const char* name;
    std::string bytes;
    ImageKind kind;
    std::string problem;
};

const HeaderCase header_cases[] = {
    {"RawTgaWhole", tga(2, 4, 3, 24, 36), ImageKind::Tga, ""},
    {"RawTgaShort", tga(2, 4, 3, 24, 35), ImageKind::Tga, "Image data cut short"},
    {"RawTga32BitsShort", tga(2, 4, 3, 32, 47), ImageKind::Tga, "Image data cut short"},
    {"MappedTgaWhole", mapped_tga(4), ImageKind::Tga, ""},
    {"MappedTgaShort", mapped_tga(3), ImageKind::Tga, "Image data cut short"},
    // Two run packets of 24-bit pixels take 8 bytes and cover at most 256 pixels.
    {"RunLengthTgaAt128PixelsAPacket", tga(10, 16, 16, 24, 8), ImageKind::Tga, ""},
    {"RunLengthTgaPast128PixelsAPacket", tga(10, 16, 17, 24, 8), ImageKind::Tga, "Image data cut short"},
    {"TgaPastTheLimit", tga(2, 8193, 8192, 24, 0), ImageKind::Tga, "Image too large (8193x8192)"},
    {"TgaDepthOf211Bits", tga(2, 4, 4, 211, 4 * 4 * 27), ImageKind::Tga,
     "Unsupported pixel depth (211 bits)"},
    // 3 pixels of 24 bits make 9 bytes, padded to 12 per row.
    {"BmpPaddedRowsWhole", bmp(3, 2, 24, 24), ImageKind::Bmp, ""},
    {"BmpPaddedRowsShort", bmp(3, 2, 24, 23), ImageKind::Bmp, "Image data cut short"},
    {"BmpPastTheLimit", bmp(10000, 65535, 24, 300), ImageKind::Bmp, "Image too large (10000x65535)"},
    // A negative height is top-down.
    {"BmpMostNegativeHeight", bmp(-65535, INT32_MIN, 24, 300), ImageKind::Bmp,
     "Image too large (65535x2147483648)"},
    {"BmpDepthOf65280Bits", bmp(256, -65526, 65280, 300), ImageKind::Bmp,
     "Unsupported pixel depth (65280 bits)"},
    // Run-length encoded pixels cannot be counted from the size; only the limit applies.
    {"BmpRunLength", bmp(512, 512, 8, 10, 1), ImageKind::Bmp, ""},
    {"JpegAtTheLimit", jpeg(8192, 8192, 0), ImageKind::Jpeg, ""},
    {"JpegFramePastLargeSegments", jpeg(20000, 9000, 130000), ImageKind::Jpeg,
     "Image too large (20000x9000)"},
    {"JpegWithoutFrame", std::string("\xFF\xD8\xFF\xD9", 4), ImageKind::Jpeg, ""},  // left to the library
};

// The pixel at (x, y) as R, G, B and, for 32-bit pictures, A; "" when the picture did not load.
std::string pixel(const SDL_Surface* s, int x, int y) {
    const auto* p =
        static_cast<const unsigned char*>(s->pixels) + y * s->pitch + x * s->format->BytesPerPixel;
    std::string out;
    for (int i = 0; i < s->format->BytesPerPixel; ++i) out += (i > 0 ? "," : "") + std::to_string(p[i]);
    return out;
}

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
    EXPECT_THAT(file_list(100), ::testing::UnorderedElementsAre(
                                    "data.DAT", "data.ZIP", "data.dat", "data.zip", "data/fonts/font.tga",
                                    "data/more.zip", "data/more/a.tga", "data/more/b/c.tvl", "data/x.txt"));
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

TEST(ImageHeader, ProblemIsFoundFromTheStreamPositionWhichIsKept) {
    for (const HeaderCase& c : header_cases) {
        std::string bytes = "junk" + c.bytes;
        SDL_RWops* stream = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
        SDL_RWseek(stream, 4, RW_SEEK_SET);
        EXPECT_EQ(image_header_problem(stream, c.kind), c.problem) << c.name;
        EXPECT_EQ(SDL_RWtell(stream), 4) << c.name;
        SDL_RWclose(stream);
    }
}

TEST_F(Files, EveryColourTypeOfPngDecodesToItsPixels) {
    using B = media::Bytes;
    // 2 x 1 pictures: the second pixel is the one read back.
    const B palette("\x10\x20\x30\xC8\x64\x0A\x00\x00\xFF", 9);
    struct Row {
        const char* name;
        media::Bytes file;
        std::string second_pixel;  // R,G,B[,A] in memory order
    } rows[] = {
        {"grey", media::png(2, 1, B("\x05\xB4", 2), 0), "180,180,180"},
        {"grey_alpha", media::png(2, 1, B("\x05\xFF\xB4\x40", 4), 4), "180,180,180,64"},
        {"rgb", media::png(2, 1, B("\x01\x02\x03\xC8\x64\x0A", 6), 2), "200,100,10"},
        {"rgba", media::png(2, 1, B("\x01\x02\x03\x04\xC8\x64\x0A\x80", 8), 6), "200,100,10,128"},
        {"paletted", media::png(2, 1, B("\x00\x01", 2), 3, palette), "200,100,10"},
        // One fully transparent entry: the pixels of that entry get alpha 0, the rest 255.
        {"paletted_keyed", media::png(2, 1, B("\x01\x00", 2), 3, palette, B("\x00", 1)), "16,32,48,0"},
        // Partial transparency: every entry keeps its own alpha.
        {"paletted_alpha", media::png(2, 1, B("\x00\x01", 2), 3, palette, B("\xFF\x60", 2)), "200,100,10,96"},
    };
    for (const Row& row : rows) {
        std::string path = std::string(row.name) + ".png";
        media::save(path, row.file);
        SurfacePtr image(file_image_load(path.c_str()));
        ASSERT_NE(image, nullptr) << row.name << ": " << SDL_GetError();
        EXPECT_EQ(pixel(image.get(), 1, 0), row.second_pixel) << row.name;
    }
}

TEST_F(Files, PictureContentWinsOverTheNameAndTheSizeLimitHolds) {
    media::save("photo.png", media::jpeg(8, 8, solid_rgb(8, 8, 1, 2, 3)));
    media::save("picture.tga", media::png(3, 1, solid_rgb(3, 1, 1, 2, 3)));
    media::save("noextension", media::png(1, 1, solid_rgb(1, 1, 1, 2, 3)));
    media::save("text.png", "not a picture at all");
    // A header claiming 9000 x 9000 pixels (81 million, past the 8192 x 8192 limit).
    media::Bytes huge = media::png(1, 1, solid_rgb(1, 1, 1, 2, 3));
    huge.replace(16, 8, media::Bytes("\x00\x00\x23\x28\x00\x00\x23\x28", 8));
    media::save("huge.png", huge);

    // A picture under another format's name loads by its content, and the name is pointed out;
    // what is no picture, or too large, is refused with its reason (path, warning, refusal).
    const std::tuple<const char*, const char*, const char*> rows[] = {
        {"photo.png", "Warning: 'photo.png' holds a JPEG picture, not PNG as its name says; read as JPEG\n",
         ""},
        {"picture.tga", "Warning: 'picture.tga' holds a PNG picture, not TGA as its name says; read as PNG\n",
         ""},
        {"noextension", "", ""},
        {"text.png", "", "Not a PNG picture"},
        {"huge.png", "", "Image too large (9000x9000)"},
    };
    for (const auto& [path, warning, refusal] : rows) {
        testing::internal::CaptureStderr();
        SurfacePtr image(file_image_load(path));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), warning);
        EXPECT_EQ(image != nullptr, *refusal == '\0') << path << ": " << SDL_GetError();
        EXPECT_STREQ(image != nullptr ? "" : SDL_GetError(), refusal) << path;
    }
}
