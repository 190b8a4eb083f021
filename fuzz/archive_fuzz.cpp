// Zip archives through the file layer: directory walking, script discovery and reads.
#include <cstdint>

#include "core/config.h"
#include "fuzz_common.h"
#include "resources/files.h"
#include "script/parser.h"
#include "script/section.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::write_input("data.dat", data, size);
    config_reset_defaults();
    try {
        script_discover("./data");
    } catch (const FatalError&) {
    }
    section_list_clear();
    ZzipFile f(file_open("data/a.txt"));
    if (f != nullptr) {
        char buffer[4096];
        while (zzip_fread(buffer, 1, sizeof buffer, f.get()) > 0) {
        }
    }
    return 0;
}
