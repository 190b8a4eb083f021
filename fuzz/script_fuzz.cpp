// Scripts: line reader, splitter, keywords, vectors and configuration assignments.
#include <cstdint>

#include "core/config.h"
#include "fuzz_common.h"
#include "script/parser.h"
#include "script/section.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::write_input("input.tvl", data, size);
    config_reset_defaults();
    try {
        script_parse("./input.tvl");
    } catch (const FatalError&) {
    }
    section_list_clear();
    return 0;
}
