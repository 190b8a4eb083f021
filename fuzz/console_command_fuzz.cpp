// One command line of the maker's console: parsing, and a screenshot's file through the write rule.
#include <cstddef>
#include <cstdint>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::check(fuzz::run_console_command(data, size));
    return 0;
}
