// Texture loading speed: a 4096 x 4096 JPEG limited to detail 0 (128 pixels) and detail 5
// (4096, no scaling), and a 512 x 512 TGA. Prints milliseconds per image and bytes of decoded
// image (width x height x 3) per second. Run from any directory; the images are written to a temporary
// directory.
//
// The JPEG comes from the tests' small encoder, which codes one flat colour per 8 x 8 block:
// entropy decoding is lighter than for a photograph, so JPEG figures are a lower bound.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "base/config.h"
#include "media_files.h"
#include "resources/texture.h"

namespace {

void measure(const char* label, const std::string& path, int64_t image_bytes, int detail, int rounds) {
    texture_detail = detail;
    texture_table_reset();
    texture_load(path.c_str());  // warm the file cache and the decoder library
    texture_table_reset();
    auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) {
        texture_load(path.c_str());
        texture_table_reset();
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    std::printf("%-34s %8.2f ms/image  %8.1f MB/s\n", label, seconds * 1000 / rounds,
                static_cast<double>(image_bytes) * rounds / seconds / 1e6);
}

}  // namespace

int main() {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "tarvel-texture-bench";
    std::filesystem::create_directories(dir);
    std::string jpeg = (dir / "big.jpg").string();
    std::string tga = (dir / "mid.tga").string();
    media::save(jpeg, media::jpeg(4096, 4096, media::pattern_rgb(4096, 4096)));
    media::save(tga, media::tga(512, 512, media::pattern_rgb(512, 512), 24));

    const int64_t big = 4096 * 4096 * 3;
    measure("JPEG 4096x4096, detail 0 (128)", jpeg, big, 0, 5);
    measure("JPEG 4096x4096, detail 5 (4096)", jpeg, big, 5, 5);
    measure("TGA 512x512 24-bit, detail 5", tga, 512 * 512 * 3, 5, 100);

    std::filesystem::remove_all(dir);
    return 0;
}
