// 3DS files: the chunk walker, materials and the normals computed from what it read.
#include <cstddef>
#include <cstdint>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::check(fuzz::run_mesh(data, size));
    return 0;
}
