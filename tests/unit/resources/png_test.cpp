// PNG pictures of every colour type decode to the RGB or RGBA pixels they hold; the content
// decides the format, and the size limit applies before decoding.
#include <gtest/gtest.h>

#include <string>

#include "media_files.h"
#include "resources/files.h"
#include "test_support.h"

namespace {

// The pixel at (x, y) as R, G, B and, for 32-bit pictures, A; "" when the picture did not load.
std::string pixel(const SDL_Surface* s, int x, int y) {
    const auto* p =
        static_cast<const unsigned char*>(s->pixels) + y * s->pitch + x * s->format->BytesPerPixel;
    std::string out;
    for (int i = 0; i < s->format->BytesPerPixel; ++i) out += (i > 0 ? "," : "") + std::to_string(p[i]);
    return out;
}

TEST(PngImage, EveryColourTypeDecodesToItsPixels) {
    TempDir dir;
    ScopedChdir cd(dir.path);
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
        EXPECT_EQ(image->format->palette, nullptr) << row.name;
        EXPECT_EQ(pixel(image.get(), 1, 0), row.second_pixel) << row.name;
    }
}

TEST(PngImage, ContentWinsOverTheNameAndTheSizeLimitHolds) {
    TempDir dir;
    ScopedChdir cd(dir.path);
    media::save("photo.png", media::jpeg(8, 8, solid_rgb(8, 8, 1, 2, 3)));
    media::save("picture.tga", media::png(3, 1, solid_rgb(3, 1, 1, 2, 3)));
    media::save("noextension", media::png(1, 1, solid_rgb(1, 1, 1, 2, 3)));
    media::save("text.png", "not a picture at all");
    // A header claiming 9000 x 9000 pixels (81 million, past the 8192 x 8192 limit).
    media::Bytes huge = media::png(1, 1, solid_rgb(1, 1, 1, 2, 3));
    huge.replace(16, 8, media::Bytes("\x00\x00\x23\x28\x00\x00\x23\x28", 8));
    media::save("huge.png", huge);

    // A picture under another format's name loads by its content, and the name is pointed out.
    const std::pair<const char*, const char*> misnamed[] = {
        {"photo.png", "Warning: 'photo.png' holds a JPEG picture, not PNG as its name says; read as JPEG\n"},
        {"picture.tga",
         "Warning: 'picture.tga' holds a PNG picture, not TGA as its name says; read as PNG\n"},
        {"noextension", ""},
    };
    for (const auto& [path, warning] : misnamed) {
        testing::internal::CaptureStderr();
        SurfacePtr image(file_image_load(path));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), warning);
        EXPECT_NE(image, nullptr) << path << ": " << SDL_GetError();
    }
    const std::pair<const char*, const char*> refused[] = {
        {"text.png", "Not a PNG picture"},
        {"huge.png", "Image too large (9000x9000)"},
    };
    for (const auto& [path, message] : refused) {
        EXPECT_EQ(file_image_load(path), nullptr) << path;
        EXPECT_STREQ(SDL_GetError(), message);
    }
}

}  // namespace
