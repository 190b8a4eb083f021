// The "efxFader" section type: a colour laid over the whole frame, its colour and opacity
// moving from a start value to an end value over the section's length.
#include "base/error.h"
#include "effects/flat_quad.h"
#include "script/section.h"
#include "sections/demo.h"

namespace {

void fader_check(const Section& s, const SectionTypes&, bool) {
    if (s.param_count != 8) fatal_error("Eight floats needed in fader");
}

void fader_init(Section& s, Frame& f) {
    fader_check(s, f.demo.types, false);
}

void fader_render(Section& s, Frame&) {
    const float t = s.elapsed / s.duration;
    float c[4];
    for (int i = 0; i < 4; ++i) c[i] = s.params[i] + (s.params[i + 4] - s.params[i]) * t;
    flat_quad_draw(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, c);
}

}  // namespace

extern const SectionType efx_fader_type = {"efxFader",   section_noop, fader_init, section_noop,
                                           fader_render, section_noop, fader_check};
