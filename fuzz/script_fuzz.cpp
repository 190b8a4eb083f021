// Scripts: line reader, splitter, keywords, vectors and configuration assignments.
#include <cstddef>
#include <cstdint>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::check(fuzz::run_script(data, size));
    return 0;
}
