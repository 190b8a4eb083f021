// The "efxInverse" section type: every pixel of the frame so far becomes 1 minus its colour.
#include "effects/flat_quad.h"
#include "script/section.h"

namespace {

void inverse_render(Section&, Frame&) {
    // White times (1 - destination) replaces the destination.
    const float white[4] = {1, 1, 1, 1};
    flat_quad_draw(GL_ONE_MINUS_DST_COLOR, GL_ZERO, white);
}

}  // namespace

extern const SectionType efx_inverse_type = {"efxInverse",   section_noop, section_noop,      section_noop,
                                             inverse_render, section_noop, section_check_none};
