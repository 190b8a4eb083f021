// font_init and font_print against a real OpenGL context on the test X server: the texture
// they set up, the pixels they add to the frame and the GL state they leave behind.
#include <array>

#include "core/config.h"
#include "font_image.h"
#include "gl_window.h"
#include "resources/font.h"

namespace {

constexpr int WIDTH = 64;
constexpr int HEIGHT = 32;

struct FontGl : GlWindowTest<WIDTH, HEIGHT> {
    Font font;

    void SetUp() override {
        GlWindowTest::SetUp();
        if (HasFatalFailure()) return;
        gl_width = WIDTH;
        gl_height = HEIGHT;
        glViewport(0, 0, WIDTH, HEIGHT);
        glDisable(GL_DEPTH_TEST);
        ASSERT_TRUE(make_font_image("data/fonts/font.tga"));
    }
    void TearDown() override {
        GlWindowTest::TearDown();
        texture_detail = 5;
        gl_width = 800;
        gl_height = 600;
    }

    // The window's pixel at (x, y), y from the top.
    std::array<unsigned char, 3> pixel(int x, int y) {
        std::array<unsigned char, 3> rgb{};
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(x, HEIGHT - 1 - y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        return rgb;
    }
};

}  // namespace

TEST_F(FontGl, InitLoadsAClampedTextureWithoutMipmapsAndFillsTheRecord) {
    font_init(&font, font_charmap, 16, 16, "data/fonts/font.tga");
    const Texture* t = texture_get(font.texture);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->flags, TEX_NO_MIPMAP | TEX_CLAMP);
    EXPECT_EQ(t->min_filter, static_cast<GLenum>(GL_LINEAR));
    EXPECT_EQ(t->wrap, static_cast<GLenum>(GL_CLAMP_TO_EDGE));
    EXPECT_EQ(t->env_mode, static_cast<GLenum>(GL_REPLACE));
    EXPECT_NE(t->gl_name, 0xFFFFFFFFu);  // uploaded
    EXPECT_EQ(t->memory, 256 * 256 * 3);
    EXPECT_STREQ(font.path, "data/fonts/font.tga");
    EXPECT_EQ(font.charmap, font_charmap);
    EXPECT_EQ(font.size, 16.0f);

    texture_detail = 0;
    Font small;
    font_init(&small, font_charmap, 16, 16, "data/fonts/font.tga");
    EXPECT_EQ(small.size, 8.0f);
    EXPECT_NE(small.texture, font.texture);
}

TEST_F(FontGl, GlyphsAddToTheFrameAndTheStateIsLeftAsDocumented) {
    font_init(&font, font_charmap, 16, 16, "data/fonts/font.tga");
    const GlyphImage glyphs = glyph_image();
    ASSERT_TRUE(glyphs.complete());

    glClearColor(0.5f, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ZERO);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(3, 4, 5);  // must not move the text
    GLint depth_before[2] = {};
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth_before[0]);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth_before[1]);

    font.green = 0.25f;  // the colour reaches GL even though the texture replaces it
    font_print(font, "%c%s", 'A', "_B");

    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    GLint mode = 0, src = 0, dst = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_EQ(mode, GL_PROJECTION);
    EXPECT_EQ(src, GL_SRC_ALPHA);
    EXPECT_EQ(dst, GL_ONE);
    GLfloat colour[4] = {};
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[1], 0.25f);
    GLint depth_after[2] = {};
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth_after[0]);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth_after[1]);
    EXPECT_EQ(depth_after[0], depth_before[0]);
    EXPECT_EQ(depth_after[1], depth_before[1]);
    GLfloat modelview[16] = {};
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    EXPECT_EQ(modelview[12], 3.0f);
    EXPECT_EQ(modelview[14], 5.0f);

    // "A" in the first 16 pixels, nothing for "_", "B" from x 32: white glyph pixels added to
    // the dark red frame saturate to white, the rest of the frame keeps its colour.
    const int cells[3] = {33, -1, 34};
    for (int i = 0; i < 3; ++i) {
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const bool ink = cells[i] >= 0 && glyphs.lit(cells[i], x, y);
                const auto p = pixel(i * 16 + x, y);
                if (ink) {
                    EXPECT_EQ(p, (std::array<unsigned char, 3>{255, 255, 255})) << i << ": " << x << "," << y;
                } else {
                    EXPECT_NEAR(p[0], 128, 1) << i << ": " << x << "," << y;
                    EXPECT_EQ(p[1] + p[2], 0) << i << ": " << x << "," << y;
                }
            }
        }
    }
    // Below the line nothing was drawn.
    EXPECT_EQ(pixel(8, 20)[1], 0);
}

TEST_F(FontGl, NullFormatDrawsNothingAndTouchesNoState) {
    font_init(&font, font_charmap, 16, 16, "data/fonts/font.tga");
    glEnable(GL_BLEND);
    glMatrixMode(GL_MODELVIEW);
    font_print(font, nullptr);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
}
