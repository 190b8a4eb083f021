// The checker over whole scripts: the collecting parser, every section type's checks with the
// files they name, the warnings and the report.
#include <cstddef>
#include <cstdint>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::check(fuzz::run_check(data, size));
    return 0;
}
