#include "resources/texture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/config.h"
#include "media_files.h"
#include "test_support.h"

namespace {

struct TextureTest : ::testing::Test {
    void SetUp() override { texture_table_reset(); }
    void TearDown() override {
        texture_table_reset();
        texture_detail = 5;
    }
};

// The bytes of pixel (x, y) of a texture's pending pixels, rows 4-byte aligned.
const unsigned char* pixel_at(const Texture* t, int x, int y) {
    return t->pixels + texture_row_bytes(t->width, t->components) * y +
           static_cast<size_t>(x) * t->components;
}

// Source pattern of media::pattern_rgb: R = x, G = y, B = 7x + 13y (all mod 256).
void expect_pattern_pixel(const Texture* t, int x, int y, int src_x, int src_y, bool bgr) {
    const unsigned char* p = pixel_at(t, x, y);
    unsigned char r = bgr ? p[2] : p[0];
    unsigned char b = bgr ? p[0] : p[2];
    EXPECT_EQ(r, src_x & 0xFF) << "pixel " << x << "," << y;
    EXPECT_EQ(p[1], src_y & 0xFF) << "pixel " << x << "," << y;
    EXPECT_EQ(b, (src_x * 7 + src_y * 13) & 0xFF) << "pixel " << x << "," << y;
}

}  // namespace

TEST_F(TextureTest, NewSlotsHaveDefaultsAndFlagsPickEachFieldAlone) {
    int a = texture_new();
    int b = texture_new();
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(texture_count, 2);
    const Texture* t = texture_get(a);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->gl_name, 0xFFFFFFFFu);
    EXPECT_EQ(t->pixels, nullptr);
    EXPECT_EQ(t->name, nullptr);
    EXPECT_EQ(t->min_filter, static_cast<GLenum>(GL_LINEAR_MIPMAP_NEAREST));
    EXPECT_EQ(t->wrap, static_cast<GLenum>(GL_REPEAT));
    EXPECT_EQ(t->env_mode, static_cast<GLenum>(GL_REPLACE));
    EXPECT_EQ(t->target, static_cast<GLenum>(GL_TEXTURE_2D));

    texture_set_flags(a, TEX_NO_MIPMAP);
    EXPECT_EQ(t->min_filter, static_cast<GLenum>(GL_LINEAR));
    EXPECT_EQ(t->wrap, static_cast<GLenum>(GL_REPEAT));
    texture_set_flags(a, TEX_CLAMP | TEX_MODULATE);
    EXPECT_EQ(t->min_filter, static_cast<GLenum>(GL_LINEAR_MIPMAP_NEAREST));
    EXPECT_EQ(t->wrap, static_cast<GLenum>(GL_CLAMP_TO_EDGE));
    EXPECT_EQ(t->env_mode, static_cast<GLenum>(GL_MODULATE));
    EXPECT_EQ(t->flags, TEX_CLAMP | TEX_MODULATE);

    // A 1D texture only ever gets level 0, so it must not ask for mipmaps.
    texture_set_flags(b, TEX_1D);
    EXPECT_EQ(texture_get(b)->target, static_cast<GLenum>(GL_TEXTURE_1D));
    EXPECT_EQ(texture_get(b)->min_filter, static_cast<GLenum>(GL_LINEAR));
    EXPECT_EQ(texture_get(b)->wrap, static_cast<GLenum>(GL_REPEAT));

    EXPECT_EQ(texture_get(2), nullptr);
    EXPECT_EQ(texture_get(-1), nullptr);
}

TEST_F(TextureTest, TheTableHolds256AndThe257thIsFatal) {
    for (int i = 0; i < TEXTURE_MAX; ++i) ASSERT_EQ(texture_new(), i);
    EXPECT_EQ(fatal_message_of([] { texture_new(); }), "Too many textures (limited to 256)");
    EXPECT_EQ(texture_count, 256);
}

TEST_F(TextureTest, CreateMakesABlankBufferWithAlignedRows) {
    int h = texture_create(5, 3, GL_LUMINANCE, 1);
    const Texture* t = texture_get(h);
    EXPECT_EQ(t->width, 5);
    EXPECT_EQ(t->height, 3);
    EXPECT_EQ(t->components, 1);
    EXPECT_EQ(t->format, static_cast<GLenum>(GL_LUMINANCE));
    EXPECT_EQ(t->image, nullptr);
    ASSERT_NE(t->pixels, nullptr);
    // GL reads rows 8 bytes apart here; the buffer must hold all of them (checked by ASan).
    std::memset(t->pixels, 0x5A, texture_row_bytes(5, 1) * 3);
    EXPECT_EQ(texture_row_bytes(5, 1), 8u);
    EXPECT_EQ(texture_row_bytes(5, 3), 16u);
    EXPECT_EQ(texture_row_bytes(4, 3), 12u);
    EXPECT_EQ(texture_row_bytes(3, 4), 12u);
}

TEST(TextureMemory, CountsEveryLevelAboveOneByOne) {
    EXPECT_EQ(texture_memory_count(256, 128, 3, true),
              3 * (256 * 128 + 128 * 64 + 64 * 32 + 32 * 16 + 16 * 8 + 8 * 4 + 4 * 2 + 2 * 1));
    EXPECT_EQ(texture_memory_count(256, 128, 3, false), 3 * 256 * 128);
    EXPECT_EQ(texture_memory_count(4, 2, 3, true), 30);
    EXPECT_EQ(texture_memory_count(1, 1, 4, true), 0);
    EXPECT_EQ(texture_memory_count(1, 1, 4, false), 4);
    EXPECT_EQ(texture_memory_count(1, 8, 1, true), 8 + 4 + 2);
    // Sides below 1 count nothing instead of looping for ever.
    EXPECT_EQ(texture_memory_count(0, 0, 3, true), 0);
    EXPECT_EQ(texture_memory_count(0, 16, 3, true), 0);
    EXPECT_EQ(texture_memory_count(-4, 16, 3, false), 0);
}

TEST(TextureResample, QuarterSizeTakesEveryFourthColumnAtCentresAndRowAtTop) {
    // Each source pixel holds its own column and row, 16 bits each.
    const int sw = 512, sh = 512, dw = 128, dh = 128;
    std::vector<unsigned char> src(static_cast<size_t>(sw) * sh * 4);
    for (int y = 0; y < sh; ++y) {
        for (int x = 0; x < sw; ++x) {
            unsigned char* p = &src[(static_cast<size_t>(y) * sw + x) * 4];
            p[0] = x & 0xFF;
            p[1] = x >> 8;
            p[2] = y & 0xFF;
            p[3] = y >> 8;
        }
    }
    std::vector<unsigned char> dst(static_cast<size_t>(dw) * dh * 4);
    texture_resample(src.data(), sw, sh, sw * 4, dst.data(), dw, dh, dw * 4, 4);
    for (int i = 0; i < dh; ++i) {
        for (int j = 0; j < dw; ++j) {
            const unsigned char* p = &dst[(static_cast<size_t>(i) * dw + j) * 4];
            ASSERT_EQ(p[0] | (p[1] << 8), 4 * j + 2) << j << "," << i;
            ASSERT_EQ(p[2] | (p[3] << 8), 4 * i) << j << "," << i;
        }
    }
}

TEST_F(TextureTest, LoadsTgaAsBgrKeepingTheDecodedImageUntilUpload) {
    TempDir dir;
    ScopedChdir cd(dir.path);
    media::save("pic.tga", media::tga(5, 4, media::pattern_rgb(5, 4), 24));
    int h = texture_load("pic.tga");
    const Texture* t = texture_get(h);
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t->name, "pic.tga");
    EXPECT_EQ(t->width, 5);
    EXPECT_EQ(t->height, 4);
    EXPECT_EQ(t->components, 3);
    EXPECT_EQ(t->format, static_cast<GLenum>(GL_BGR_EXT));
    EXPECT_EQ(t->flags, 0);
    ASSERT_NE(t->image, nullptr);
    EXPECT_EQ(t->pixels, t->image->pixels);
    EXPECT_EQ(t->gl_name, 0xFFFFFFFFu);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) expect_pattern_pixel(t, x, y, x, y, true);
}

TEST_F(TextureTest, UpperCaseTgaExtensionAnd32BitImages) {
    TempDir dir;
    ScopedChdir cd(dir.path);
    media::Bytes rgba;
    for (int i = 0; i < 6; ++i) rgba += media::Bytes{10, 20, 30, static_cast<char>(40 + i)};
    media::save("ALPHA.TGA", media::tga(3, 2, rgba, 32));
    const Texture* t = texture_get(texture_load("ALPHA.TGA"));
    EXPECT_EQ(t->components, 4);
    EXPECT_EQ(t->format, static_cast<GLenum>(GL_BGRA_EXT));
    const unsigned char* p = pixel_at(t, 2, 1);
    EXPECT_EQ(p[0], 30);
    EXPECT_EQ(p[1], 20);
    EXPECT_EQ(p[2], 10);
    EXPECT_EQ(p[3], 45);
}

TEST_F(TextureTest, JpegAndBmpAreRecognisedByContent) {
    TempDir dir;
    ScopedChdir cd(dir.path);
    media::Bytes red = solid_rgb(16, 8, 200, 40, 40);
    // No telling extension: content decides.
    media::save("photo.bin", media::jpeg(16, 8, red));
    media::save("picture", media::bmp(7, 3, media::pattern_rgb(7, 3), 24));

    const Texture* j = texture_get(texture_load("photo.bin"));
    EXPECT_EQ(j->format, static_cast<GLenum>(GL_RGB));
    EXPECT_EQ(j->components, 3);
    EXPECT_EQ(j->width, 16);
    EXPECT_EQ(j->height, 8);
    const unsigned char* p = pixel_at(j, 11, 6);
    EXPECT_NEAR(p[0], 200, 3);
    EXPECT_NEAR(p[1], 40, 3);
    EXPECT_NEAR(p[2], 40, 3);

    const Texture* b = texture_get(texture_load("picture"));
    EXPECT_EQ(b->format, static_cast<GLenum>(GL_BGR_EXT));
    EXPECT_EQ(b->width, 7);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x) expect_pattern_pixel(b, x, y, x, y, true);
}

TEST_F(TextureTest, OddWidthImagesScaleThroughTheirPaddedRows) {
    TempDir dir;
    ScopedChdir cd(dir.path);
    texture_detail = 0;
    // Rows of 5 x 3 = 15 bytes are stored 16 apart; the height is scaled, the width not.
    media::save("tall.tga", media::tga(5, 300, media::pattern_rgb(5, 300), 24));
    media::save("tall.bmp", media::bmp(7, 260, media::pattern_rgb(7, 260), 24));
    const Texture* t = texture_get(texture_load("tall.tga"));
    ASSERT_EQ(t->width, 5);
    ASSERT_EQ(t->height, 128);
    EXPECT_EQ(t->image, nullptr);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 5; ++x) expect_pattern_pixel(t, x, y, x, y * 300 / 128, true);

    const Texture* b = texture_get(texture_load("tall.bmp"));
    ASSERT_EQ(b->width, 7);
    ASSERT_EQ(b->height, 128);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 7; ++x) expect_pattern_pixel(b, x, y, x, y * 260 / 128, true);
}

TEST_F(TextureTest, DetailLimitScalesWideImagesAndLeavesSmallOnesAttached) {
    TempDir dir;
    ScopedChdir cd(dir.path);
    media::save("wide.tga", media::tga(301, 9, media::pattern_rgb(301, 9), 24));
    media::save("small.tga", media::tga(128, 64, solid_rgb(128, 64, 1, 2, 3), 24));
    texture_detail = 0;
    const Texture* w = texture_get(texture_load("wide.tga"));
    EXPECT_EQ(w->width, 128);
    EXPECT_EQ(w->height, 9);
    uint64_t step = (301u << 16) / 128;
    for (int x = 0; x < 128; ++x)
        expect_pattern_pixel(w, x, 4, static_cast<int>((step / 2 + x * step) >> 16), 4, true);
    const Texture* s = texture_get(texture_load("small.tga"));
    EXPECT_EQ(s->width, 128);
    EXPECT_EQ(s->height, 64);
    EXPECT_NE(s->image, nullptr);

    // Out-of-range levels act as the nearest supported one.
    texture_detail = -3;
    EXPECT_EQ(texture_get(texture_load("wide.tga"))->width, 128);
    texture_detail = 9;
    EXPECT_EQ(texture_get(texture_load("wide.tga"))->width, 301);
    texture_detail = 1;
    EXPECT_EQ(texture_get(texture_load("wide.tga"))->width, 256);
    EXPECT_EQ(texture_detail_limit(5), 4096);
    EXPECT_EQ(texture_detail_limit(40), 4096);
}

TEST_F(TextureTest, LoadFailuresNameThePath) {
    TempDir dir;
    ScopedChdir cd(dir.path);
    media::save("indexed.tga", media::tga_paletted(4, 4));
    media::save("indexed.bmp", media::bmp(4, 4, solid_rgb(4, 4, 7, 7, 7), 8));
    media::save("high.tga", media::tga16(4, 4));
    media::save("nodot", media::tga(2, 2, solid_rgb(2, 2, 1, 1, 1), 24));

    EXPECT_EQ(fatal_message_of([] { texture_load("nodot"); }),
              "Error loading 'nodot': Unsupported image format");
    EXPECT_EQ(fatal_message_of([] { texture_load("gone.jpg"); }),
              "Error loading 'gone.jpg': Couldn't open gone.jpg");
    EXPECT_EQ(fatal_message_of([] { texture_load("indexed.tga"); }),
              "Unsupported paletted texture 'indexed.tga'");
    EXPECT_EQ(fatal_message_of([] { texture_load("indexed.bmp"); }),
              "Unsupported paletted texture 'indexed.bmp'");
    EXPECT_EQ(fatal_message_of([] { texture_load("high.tga"); }), "Unsupported format in 'high.tga'");
}

TEST_F(TextureTest, PicturesWithoutPixelsAreRefusedAtLoad) {
    TempDir dir;
    ScopedChdir cd(dir.path);
    media::save("no_width.tga", media::tga(0, 27, "", 24));
    media::save("no_height.tga", media::tga(5, 0, "", 32));
    EXPECT_EQ(fatal_message_of([] { texture_load("no_width.tga"); }),
              "Error loading 'no_width.tga': Empty image");
    EXPECT_EQ(fatal_message_of([] { texture_load("no_height.tga"); }),
              "Error loading 'no_height.tga': Empty image");
    EXPECT_EQ(texture_count, 0);
}

namespace {
std::vector<std::pair<GLenum, GLuint>> binds;
std::vector<GLint> env_modes;
void count_bind(GLenum target, GLuint name) {
    binds.emplace_back(target, name);
}
void count_env(GLint mode) {
    env_modes.push_back(mode);
}

struct CountingGl {
    CountingGl() : bind(texture_gl_bind), env(texture_gl_env_mode) {
        texture_gl_bind = count_bind;
        texture_gl_env_mode = count_env;
        binds.clear();
        env_modes.clear();
    }
    ~CountingGl() {
        texture_gl_bind = bind;
        texture_gl_env_mode = env;
    }
    void (*bind)(GLenum, GLuint);
    void (*env)(GLint);
};
}  // namespace

TEST_F(TextureTest, BindCacheSkipsCallsWhoseEffectIsInPlace) {
    CountingGl counting;

    int a = texture_new();
    int b = texture_new();
    int c = texture_new();
    texture_set_flags(b, TEX_1D);
    texture_set_flags(c, TEX_MODULATE);
    // Names as an upload would have given them.
    texture_get(a)->gl_name = 7;
    texture_get(b)->gl_name = 8;
    texture_get(c)->gl_name = 9;

    texture_bind(a);
    texture_bind(a);
    EXPECT_EQ(binds.size(), 1u);
    EXPECT_EQ(env_modes.size(), 1u);
    texture_bind(b);  // same environment mode
    ASSERT_EQ(binds.size(), 2u);
    EXPECT_EQ(binds[1], std::make_pair(static_cast<GLenum>(GL_TEXTURE_1D), 8u));
    EXPECT_EQ(env_modes.size(), 1u);
    texture_bind(c);
    EXPECT_EQ(binds.size(), 3u);
    ASSERT_EQ(env_modes.size(), 2u);
    EXPECT_EQ(env_modes[1], GL_MODULATE);
    EXPECT_EQ(bound_texture, 9);
    EXPECT_EQ(bound_env_mode, GL_MODULATE);

    texture_unbind_all();
    EXPECT_EQ(bound_texture, -1);
    EXPECT_EQ(bound_env_mode, -1);
    texture_bind(c);
    EXPECT_EQ(binds.size(), 4u);
    EXPECT_EQ(env_modes.size(), 3u);

    texture_bind(99);  // no such slot: nothing happens
    EXPECT_EQ(binds.size(), 4u);
}
