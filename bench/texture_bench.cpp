// Picture loading against SDL_image decoding the same file: a 4096 x 4096 JPEG kept at full size
// (detail 5) and scaled down to 128 x 128 (detail 0), and a 512 x 512 TGA. The player's figure
// is texture_load (file access, decoding, checks, any scaling); the floor's is IMG_Load and
// SDL_FreeSurface. Run from any directory; the pictures go to a temporary directory. Prints
// table rows (bench/rounds.h).
//
// The JPEG comes from the tests' small encoder, which codes one flat colour per 8 x 8 block:
// entropy decoding is lighter than for a photograph.
#include <SDL/SDL_image.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "base/config.h"
#include "media_files.h"
#include "resources/texture.h"
#include "rounds.h"

namespace {

constexpr int ROUNDS = 7;

// Milliseconds per load of `load`, over `count` loads.
template <typename Load>
double ms_per_load(int count, Load&& load) {
    auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) load();
    return rounds::seconds_since(begin) * 1000 / count;
}

void measure(const char* what, const std::string& path, int detail, int count) {
    auto player = [&] {
        texture_load(path.c_str(), detail);
        texture_table_reset();
    };
    auto floor = [&] { SDL_FreeSurface(IMG_Load(path.c_str())); };
    player();  // warm the file cache and the decoder library
    floor();
    rounds::compare(
        what, rounds::ms, ROUNDS, [&] { return ms_per_load(count, player); },
        [&] { return ms_per_load(count, floor); });
}

}  // namespace

int main() {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tarvel-texture-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::string jpeg = (dir / "big.jpg").string();
    std::string tga = (dir / "mid.tga").string();
    media::save(jpeg, media::jpeg(4096, 4096, media::pattern_rgb(4096, 4096)));
    media::save(tga, media::tga(512, 512, media::pattern_rgb(512, 512), 24));

    measure("picture, JPEG 4096 x 4096, kept whole", jpeg, 5, 2);
    measure("picture, JPEG 4096 x 4096, scaled to 128 x 128", jpeg, 0, 2);
    measure("picture, TGA 512 x 512, 24-bit", tga, 5, 40);

    std::filesystem::remove_all(dir);
    return 0;
}
