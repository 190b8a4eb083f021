// Images: decoding through the archive-aware bridge and scaling to the detail limit.
// The first byte picks the extension (so TGA, chosen only by extension, is reached) and the
// detail level; the rest is the file.
#include <cstdint>

#include "core/config.h"
#include "fuzz_common.h"
#include "resources/texture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    if (size < 1) return 0;
    const char* names[] = {"input.tga", "input.bmp", "input.jpg", "input.TGA"};
    const char* name = names[data[0] & 3];
    texture_detail = (data[0] >> 2) % 7 - 1;  // -1 .. 5
    fuzz::write_input(name, data + 1, size - 1);
    try {
        texture_load(name);
    } catch (const FatalError&) {
    }
    texture_table_reset();
    return 0;
}
