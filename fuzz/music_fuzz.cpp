// Music files through the sound layer's decoder: open, bounded reads, seeks.
#include <cstddef>
#include <cstdint>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::check(fuzz::run_music(data, size));
    return 0;
}
