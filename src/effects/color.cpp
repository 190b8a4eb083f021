// The "efxColor" section type: draws nothing, but leaves a current colour behind for every
// later section that does not set its own.
#include <GL/gl.h>

#include "base/error.h"
#include "script/section.h"
#include "sections/demo.h"

namespace {

void color_check(const Section& s, const SectionTypes&, bool) {
    if (s.param_count < 3 || s.param_count > 4) fatal_error("3 - 4 floats needed in color");
}

void color_init(Section& s, Frame& f) {
    color_check(s, f.demo.types, false);
}

void color_render(Section& s, Frame&) {
    if (s.param_count == 3) {
        glColor3f(s.params[0], s.params[1], s.params[2]);
    } else {
        glColor4f(s.params[0], s.params[1], s.params[2], s.params[3]);
    }
}

}  // namespace

extern const SectionType efx_color_type = {"efxColor",   section_noop, color_init, section_noop,
                                           color_render, section_noop, color_check};
