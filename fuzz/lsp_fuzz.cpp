// The language server on one editor's session: framing, parsing and every request's handling.
#include <cstddef>
#include <cstdint>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::check(fuzz::run_lsp(data, size));
    return 0;
}
