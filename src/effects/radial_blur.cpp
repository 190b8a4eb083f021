// The "efxRadialBlur" section type: smears the frame outward from a centre point by adding
// ever more magnified copies of it, each pass copying the frame as the earlier passes left it.
#include "effects/radial_blur.h"

#include "script/section.h"

RadialBlur radial_blur_from_params(const float* params) {
    RadialBlur b;
    b.strength_start = params[1];
    b.strength_end = params[3];
    b.step_start = params[2];
    b.step_end = params[4];
    b.centre_x_start = params[5];
    b.centre_x_end = params[7];
    b.centre_y_start = params[6];
    b.centre_y_end = params[8];
    return b;
}

RadialBlurFrame radial_blur_frame(const RadialBlur& b, float t) {
    RadialBlurFrame f;
    f.alpha = b.strength_start + (b.strength_end - b.strength_start) * t;
    f.step = b.step_start + (b.step_end - b.step_start) * t;
    f.cx2 = 2.0f * ((1.0f - t) * b.centre_x_start + t * b.centre_x_end);
    f.cy2 = 2.0f * ((1.0f - t) * b.centre_y_start + t * b.centre_y_end);
    return f;
}

int radial_blur_pass_count(float passes) {
    int count = 0;
    while (count < RADIAL_BLUR_MAX_PASSES && static_cast<float>(count) < passes) ++count;
    return count;
}

RadialBlurWindow radial_blur_window(int pass, const RadialBlurFrame& frame) {
    const float w = static_cast<float>(pass) * frame.step;
    RadialBlurWindow win;
    win.left = w * frame.cx2;
    win.bottom = w * frame.cy2;
    win.right = 1.0f - w;
    win.top = 1.0f - w;
    return win;
}

// Callbacks come with the type's implementation; until then every slot is the shared no-op.
extern const SectionType efx_radial_blur_type = {"efxRadialBlur", section_noop, section_noop,
                                                 section_noop,    section_noop, section_noop};
