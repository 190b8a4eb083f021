#include "resources/texture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/config.h"
#include "base/error.h"
#include "media_files.h"
#include "test_support.h"

namespace {

// In a folder of its own, with an empty texture table.
struct TextureTest : ::testing::Test {
    void SetUp() override { texture_table_reset(); }
    void TearDown() override { texture_table_reset(); }
    TempDir dir;
    ScopedChdir cd{dir.path};
};

// The bytes of pixel (x, y) of a texture's pending pixels, rows 4-byte aligned.
const unsigned char* pixel_at(const Texture* t, int x, int y) {
    return t->pixels + texture_row_bytes(t->width, t->components) * y +
           static_cast<size_t>(x) * t->components;
}

std::vector<std::pair<GLenum, GLuint>> binds;
std::vector<GLint> env_modes;

}  // namespace

TEST_F(TextureTest, FlagsPickFilterWrapModeAndTargetEachAlone) {
    struct Case {
        int flags;
        GLenum target, min_filter, wrap, env_mode;
    };
    // A 1D texture only ever gets level 0, so it must not ask for mipmaps.
    const Case cases[] = {
        {0, GL_TEXTURE_2D, GL_LINEAR_MIPMAP_NEAREST, GL_REPEAT, GL_REPLACE},
        {TEX_NO_MIPMAP, GL_TEXTURE_2D, GL_LINEAR, GL_REPEAT, GL_REPLACE},
        {TEX_CLAMP | TEX_MODULATE, GL_TEXTURE_2D, GL_LINEAR_MIPMAP_NEAREST, GL_CLAMP_TO_EDGE, GL_MODULATE},
        {TEX_1D, GL_TEXTURE_1D, GL_LINEAR, GL_REPEAT, GL_REPLACE},
    };
    int handle = texture_new();
    for (const Case& c : cases) {
        texture_set_flags(handle, c.flags);
        const Texture* t = texture_get(handle);
        EXPECT_EQ((std::vector<GLenum>{t->target, t->min_filter, t->wrap, GLenum(t->env_mode)}),
                  (std::vector<GLenum>{c.target, c.min_filter, c.wrap, c.env_mode}))
            << c.flags;
    }
    EXPECT_EQ(texture_get(handle + 1), nullptr);
    for (int i = texture_count; i < TEXTURE_MAX; ++i) texture_new();
    EXPECT_EQ(fatal_message_of([] { texture_new(); }), "Too many textures (limited to 256)");
}

TEST(TextureSizes, DetailLimitsRowAlignmentAndMemoryOfEveryLevelAboveOneByOne) {
    // Detail levels 0 to 5 allow sides of 128 to 4096; levels outside act as the nearest one.
    // Memory of every level above 1 x 1; a side of 0 has none rather than looping for ever.
    EXPECT_EQ((std::vector<long>{texture_detail_limit(5), texture_detail_limit(40), texture_detail_limit(-3),
                                 long(texture_row_bytes(5, 1)), long(texture_row_bytes(5, 3)),
                                 texture_memory_count(4, 2, 3, true), texture_memory_count(1, 8, 1, true),
                                 texture_memory_count(1, 1, 4, false), texture_memory_count(0, 16, 3, true)}),
              (std::vector<long>{4096, 4096, 128, 8, 16, 3 * (8 + 2), 8 + 4 + 2, 4, 0}));
}

TEST(TextureResample, QuarterSizeTakesEveryFourthColumnAtCentresAndRowAtTop) {
    // Each source pixel holds its own column and row, 16 bits each.
    const int sw = 512, dw = 128;
    std::vector<unsigned char> src(static_cast<size_t>(sw) * sw * 4), dst(static_cast<size_t>(dw) * dw * 4);
    for (int y = 0; y < sw; ++y)
        for (int x = 0; x < sw; ++x) {
            unsigned char* p = &src[(static_cast<size_t>(y) * sw + x) * 4];
            p[0] = x & 0xFF, p[1] = x >> 8, p[2] = y & 0xFF, p[3] = y >> 8;
        }
    texture_resample(src.data(), sw, sw, sw * 4, dst.data(), dw, dw, dw * 4, 4);
    for (int i = 0; i < dw; ++i)
        for (int j = 0; j < dw; ++j) {
            const unsigned char* p = &dst[(static_cast<size_t>(i) * dw + j) * 4];
            ASSERT_EQ((std::pair{p[0] | (p[1] << 8), p[2] | (p[3] << 8)}), (std::pair{4 * j + 2, 4 * i}))
                << j;
        }
}

TEST_F(TextureTest, BindCacheSkipsCallsWhoseEffectIsInPlace) {
    auto saved_bind = texture_gl_bind;
    auto saved_env = texture_gl_env_mode;
    texture_gl_bind = [](GLenum target, GLuint name) { binds.emplace_back(target, name); };
    texture_gl_env_mode = [](GLint mode) { env_modes.push_back(mode); };
    binds.clear();
    env_modes.clear();
    int a = texture_new(), b = texture_new(), c = texture_new();
    texture_set_flags(b, TEX_1D);
    texture_set_flags(c, TEX_MODULATE);
    for (int h : {a, b, c}) texture_get(h)->gl_name = 7 + h;  // names as an upload would give

    texture_bind(a);
    texture_bind(a);
    texture_bind(b);  // same environment mode
    texture_bind(c);
    texture_bind(99);  // no such slot: nothing happens
    EXPECT_EQ(binds, (std::vector<std::pair<GLenum, GLuint>>{
                         {GL_TEXTURE_2D, 7 + a}, {GL_TEXTURE_1D, 7 + b}, {GL_TEXTURE_2D, 7 + c}}));
    EXPECT_EQ(env_modes, (std::vector<GLint>{GL_REPLACE, GL_MODULATE}));
    texture_unbind_all();
    texture_bind(c);
    EXPECT_EQ(binds.size() + env_modes.size(), 4u + 3u);
    texture_gl_bind = saved_bind;
    texture_gl_env_mode = saved_env;
}

namespace {

// One picture file and what loading it as a texture gives: a message, or a size and format.
struct ImageCase {
    const char* name;
    const char* file;
    media::Bytes bytes;
    int detail;
    std::string message;
    int width = 0, height = 0;
    GLenum format = 0;
    bool pattern = false;  // pixels of media::pattern_rgb: red is the column, green the row
};

const ImageCase image_cases[] = {
    {"Tga", "pic.tga", media::tga(5, 4, media::pattern_rgb(5, 4), 24), 5, "", 5, 4, GL_BGR_EXT, true},
    {"UpperCaseTga32Bits", "A.TGA", media::tga(3, 2, media::Bytes(24, '\x40'), 32), 5, "", 3, 2, GL_BGRA_EXT},
    {"JpegByContent", "photo.bin", media::jpeg(16, 8, solid_rgb(16, 8, 200, 40, 40)), 5, "", 16, 8, GL_RGB},
    {"BmpByContent", "picture", media::bmp(7, 3, media::pattern_rgb(7, 3), 24), 5, "", 7, 3, GL_BGR_EXT,
     true},
    {"WideAtLowestDetail", "w.tga", media::tga(301, 9, media::pattern_rgb(301, 9), 24), 0, "", 128, 9,
     GL_BGR_EXT},
    {"TgaWithoutExtension", "nodot", media::tga(2, 2, solid_rgb(2, 2, 1, 1, 1), 24), 5,
     "Error loading 'nodot': Unsupported image format"},
    {"Missing", "gone.jpg", "", 5, "Error loading 'gone.jpg': Couldn't open gone.jpg"},
    {"PalettedTga", "p.tga", media::tga_paletted(4, 4), 5, "Unsupported paletted texture 'p.tga'"},
    {"SixteenBitTga", "h.tga", media::tga16(4, 4), 5, "Unsupported format in 'h.tga'"},
    {"NoWidth", "w0.tga", media::tga(0, 27, "", 24), 5, "Error loading 'w0.tga': Empty image"},
    {"NoHeight", "h0.tga", media::tga(5, 0, "", 32), 5, "Error loading 'h0.tga': Empty image"},
};

}  // namespace

TEST_F(TextureTest, LoadGivesTheImageOrNamesThePathInItsMessage) {
    for (const ImageCase& c : image_cases) {
        SCOPED_TRACE(c.name);
        if (!c.bytes.empty()) media::save(c.file, c.bytes);
        int handle = -1;
        EXPECT_EQ(fatal_message_of([&] { handle = texture_load(c.file, c.detail); }), c.message);
        if (!c.message.empty()) continue;
        const Texture* t = texture_get(handle);
        ASSERT_NE(t, nullptr);
        EXPECT_STREQ(t->name, c.file);
        EXPECT_EQ((std::vector<int>{t->width, t->height, int(t->format), t->components}),
                  (std::vector<int>{c.width, c.height, int(c.format), c.format == GL_BGRA_EXT ? 4 : 3}));
        // Stored blue first; a skewed row would mix the channels of neighbouring pixels.
        for (int y = 0; y < t->height && c.pattern; ++y)
            for (int x = 0; x < t->width; ++x)
                ASSERT_THAT(std::vector<int>(pixel_at(t, x, y), pixel_at(t, x, y) + 3),
                            ::testing::ElementsAre((7 * x + 13 * y) & 0xFF, y, x))
                    << x << "," << y;
        // A JPEG's red, near what was saved; a 32-bit TGA's alpha.
        EXPECT_TRUE(c.format != GL_RGB || std::abs(pixel_at(t, 11, 6)[0] - 200) <= 3);
        EXPECT_TRUE(c.format != GL_BGRA_EXT || pixel_at(t, 2, 1)[3] == 0x40);
    }
}

// A check run again and again (the language server's) decodes a good picture once, until its file
// changes; a picture that drew a warning is decoded, and warns, every time.
TEST_F(TextureTest, ACheckPassesOverAGoodPictureUntilItsFileChanges) {
    const media::Bytes good = media::tga(2, 2, solid_rgb(2, 2, 1, 1, 1), 24);
    media::save("a.tga", good);
    media::save("w.png", media::jpeg(8, 8, solid_rgb(8, 8, 9, 9, 9)));
    std::map<std::string, PictureStamp> checked;
    LoadContext check;
    check.pictures_checked = &checked;
    LoadScope in_force(check);
    texture_check("a.tga");
    // The same size and time, and garbage inside: passed over, yet counted as opened.
    const auto time = std::filesystem::last_write_time("a.tga");
    media::save("a.tga", media::Bytes(good.size(), 'x'));
    std::filesystem::last_write_time("a.tga", time);
    check.opened.clear();
    EXPECT_EQ(fatal_message_of([] { texture_check("a.tga"); }), "");
    EXPECT_EQ(check.opened, std::set<std::string>{"a.tga"});
    std::filesystem::last_write_time("a.tga", time + std::chrono::seconds(1));
    EXPECT_EQ(fatal_message_of([] { texture_check("a.tga"); }).rfind("Error loading 'a.tga'", 0), 0u);
    for (int round = 0; round < 2; ++round) {
        const int warnings = warning_count();
        texture_check("w.png");
        EXPECT_EQ(warning_count(), warnings + 1) << round;
    }
}
