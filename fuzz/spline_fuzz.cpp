// Spline files: parsing, key timing and evaluation over and past the keys.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "fuzz_common.h"
#include "resources/spline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    fuzz::write_input("input.spl", data, size);
    try {
        std::unique_ptr<Spline> spline(spline_load("input.spl"));
        const float durations[] = {0.0f, 1.0f, 7.5f};
        for (float d : durations) {
            spline_set_duration(spline.get(), d);
            float out[SPLINE_MAX_CHANNELS];
            for (float t = -1.0f; t <= 9.0f; t += 0.75f) {
                int n = spline_eval(spline.get(), out, t);
                if (n < 0 || n > SPLINE_MAX_CHANNELS) std::abort();
            }
        }
    } catch (const FatalError&) {
    }
    return 0;
}
