// Spline files: parsing, key timing and evaluation over and past the keys.
#include <cstddef>
#include <cstdint>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::check(fuzz::run_spline(data, size));
    return 0;
}
