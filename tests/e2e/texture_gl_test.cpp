// The texture manager against a real OpenGL context in a small window on the test X server.
#include <vector>

#include "core/config.h"
#include "gl_window.h"
#include "media_files.h"

namespace {

struct TextureGl : GlWindowTest<32> {
    void TearDown() override {
        GlWindowTest::TearDown();
        texture_detail = 5;
    }
    GLint parameter(GLenum target, GLenum name) {
        GLint value = 0;
        glGetTexParameteriv(target, name, &value);
        return value;
    }
    // Level 0 of the texture bound on GL_TEXTURE_2D as tightly packed RGB rows.
    std::vector<unsigned char> read_back(int width, int height) {
        std::vector<unsigned char> out(static_cast<size_t>(width) * height * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, out.data());
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        return out;
    }
};

}  // namespace

TEST_F(TextureGl, UploadCountsMemoryReleasesPixelsAndResetsTheCache) {
    int mip = texture_create(256, 128, GL_RGB, 3);
    int flat = texture_create(256, 128, GL_RGB, 3);
    texture_set_flags(flat, TEX_NO_MIPMAP | TEX_CLAMP);
    texture_upload(mip);
    texture_upload(flat);

    const Texture* m = texture_get(mip);
    const Texture* f = texture_get(flat);
    EXPECT_EQ(m->memory, 3 * (256 * 128 + 128 * 64 + 64 * 32 + 32 * 16 + 16 * 8 + 8 * 4 + 4 * 2 + 2 * 1));
    EXPECT_EQ(f->memory, 3 * 256 * 128);
    EXPECT_EQ(texture_memory_total(), m->memory + f->memory);
    EXPECT_EQ(m->pixels, nullptr);
    EXPECT_EQ(f->pixels, nullptr);
    EXPECT_EQ(bound_texture, -1);
    EXPECT_TRUE(glIsTexture(m->gl_name));
    EXPECT_NE(m->gl_name, f->gl_name);

    glBindTexture(GL_TEXTURE_2D, m->gl_name);
    EXPECT_EQ(parameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_NEAREST);
    EXPECT_EQ(parameter(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(parameter(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S), GL_REPEAT);
    GLint level_width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 7, GL_TEXTURE_WIDTH, &level_width);
    EXPECT_EQ(level_width, 2) << "mipmap levels were built";
    glBindTexture(GL_TEXTURE_2D, f->gl_name);
    EXPECT_EQ(parameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_EQ(parameter(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);

    // A second upload only checks for errors.
    GLuint name = m->gl_name;
    texture_upload(mip);
    EXPECT_EQ(m->gl_name, name);
    EXPECT_EQ(texture_memory_total(), m->memory + f->memory);
}

TEST_F(TextureGl, OddWidthImagesReachGlUnskewed) {
    media::save("odd.tga", media::tga(5, 3, media::pattern_rgb(5, 3), 24));
    media::save("tall.tga", media::tga(7, 300, media::pattern_rgb(7, 300), 24));
    int odd = texture_load("odd.tga");
    texture_detail = 0;
    int tall = texture_load("tall.tga");  // scaled to 7 x 128
    texture_set_flags(odd, TEX_NO_MIPMAP);
    texture_set_flags(tall, TEX_NO_MIPMAP);
    texture_upload(odd);
    texture_upload(tall);

    glBindTexture(GL_TEXTURE_2D, texture_get(odd)->gl_name);
    std::vector<unsigned char> a = read_back(5, 3);
    media::Bytes expected = media::pattern_rgb(5, 3);
    EXPECT_EQ(std::string(a.begin(), a.end()), expected);

    glBindTexture(GL_TEXTURE_2D, texture_get(tall)->gl_name);
    std::vector<unsigned char> b = read_back(7, 128);
    media::Bytes source = media::pattern_rgb(7, 300);
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 7; ++x) {
            size_t got = (static_cast<size_t>(y) * 7 + x) * 3;
            size_t want = (static_cast<size_t>(y * 300 / 128) * 7 + x) * 3;
            ASSERT_EQ(b[got + 2], static_cast<unsigned char>(source[want + 2])) << x << "," << y;
            ASSERT_EQ(b[got + 1], static_cast<unsigned char>(source[want + 1])) << x << "," << y;
        }
    }
}

TEST_F(TextureGl, OneDimensionalTextureDrawsWithItsFirstRow) {
    media::Bytes rows = solid_rgb(8, 1, 0, 255, 0) + solid_rgb(8, 1, 255, 0, 255);
    media::save("ramp.tga", media::tga(8, 2, rows, 24));
    int ramp = texture_load("ramp.tga");
    texture_set_flags(ramp, TEX_1D);
    texture_upload(ramp);

    glDisable(GL_TEXTURE_2D);
    glEnable(GL_TEXTURE_1D);
    glDisable(GL_DEPTH_TEST);
    texture_bind(ramp);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_1D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), texture_get(ramp)->gl_name);
    GLint mode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    EXPECT_EQ(mode, GL_REPLACE);  // GL starts with GL_MODULATE
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(1, 1, 1);  // shows through only if the texture is not applied
    glBegin(GL_QUADS);
    glTexCoord1f(0.5f);
    glVertex2f(-1, -1);
    glVertex2f(1, -1);
    glVertex2f(1, 1);
    glVertex2f(-1, 1);
    glEnd();
    unsigned char pixel[4] = {};
    glReadPixels(16, 16, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    // An incomplete texture would leave the quad white.
    EXPECT_EQ(pixel[0], 0);
    EXPECT_EQ(pixel[1], 255);
    EXPECT_EQ(pixel[2], 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureGl, AnEarlierGlErrorIsReportedAgainstTheNextUpload) {
    media::save("pic.tga", media::tga(2, 2, solid_rgb(2, 2, 1, 2, 3), 24));
    int loaded = texture_load("pic.tga");
    glEnable(0x7FFF);
    EXPECT_EQ(fatal_message_of([&] { texture_upload(loaded); }),
              "Error before upload texture 'pic.tga': invalid enumerant");
}

TEST_F(TextureGl, ABlankTextureHasANameInMessages) {
    int blank = texture_create(2, 2, GL_RGB, 3);
    glEnable(0x7FFF);
    EXPECT_EQ(fatal_message_of([&] { texture_upload(blank); }),
              "Error before upload texture '(blank)': invalid enumerant");
}

TEST_F(TextureGl, FailedSendsAreReported) {
    int flat = texture_create(4, 4, GL_RGB, 3);
    texture_set_flags(flat, TEX_NO_MIPMAP);
    texture_get(flat)->width = -4;
    EXPECT_EQ(fatal_message_of([&] { texture_upload(flat); }),
              "Error uploading texture '(blank)': invalid value");
}

TEST_F(TextureGl, MipmapBuildFailuresAreReported) {
    media::save("pic.tga", media::tga(2, 2, solid_rgb(2, 2, 1, 2, 3), 24));
    int loaded = texture_load("pic.tga");
    texture_get(loaded)->width = 0;  // GLU refuses it without a GL error
    EXPECT_EQ(fatal_message_of([&] { texture_upload(loaded); }),
              "Error uploading texture 'pic.tga': invalid value");
}
