// Images: decoding through the archive-aware bridge and scaling to the detail limit.
#include <cstddef>
#include <cstdint>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::check(fuzz::run_image(data, size));
    return 0;
}
