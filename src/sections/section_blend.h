// A section's own blend and alpha test (its "blend" and "alpha" lines) around its drawing.
#pragma once

#include "gfx/blend.h"
#include "script/section.h"

// The blend alone, as the section's lines set it.
inline void section_blend_begin(const Section& s) {
    if (s.blend_on) blend_begin(s.blend_src, s.blend_dst);
}

inline void section_blend_end(const Section& s) {
    if (s.blend_on) blend_end();
}

// The blend and the alpha test as a render callback starts (the usual shape); the alpha
// reference moves from its first to its second value over the section's span.
inline void section_blend_alpha_begin(const Section& s) {
    section_blend_begin(s);
    if (s.alpha_on)
        alpha_test_begin(s.alpha_func,
                         s.alpha_ref_from + (s.alpha_ref_to - s.alpha_ref_from) * s.elapsed / s.duration);
}

inline void section_blend_alpha_end(const Section& s) {
    section_blend_end(s);
    if (s.alpha_on) alpha_test_end();
}
