// A section's own blend and alpha test (its "blend" and "alpha" lines) around its drawing.
#pragma once

#include "gfx/blend.h"
#include "script/section.h"

// Applies the section's blend and alpha test as a render callback starts (the usual shape);
// the alpha reference moves from its first to its second value over the section's span.
inline void section_blend_alpha_begin(const Section& s) {
    blend_begin(s.blend_on, s.blend_src, s.blend_dst);
    if (s.alpha_on)
        alpha_test_begin(true, s.alpha_func,
                         s.alpha_ref_from + (s.alpha_ref_to - s.alpha_ref_from) * s.elapsed / s.duration);
}

inline void section_blend_alpha_end(const Section& s) {
    blend_end(s.blend_on);
    alpha_test_end(s.alpha_on);
}

// The same for the blend alone.
inline void section_blend_begin(const Section& s) {
    blend_begin(s.blend_on, s.blend_src, s.blend_dst);
}

inline void section_blend_end(const Section& s) {
    blend_end(s.blend_on);
}
