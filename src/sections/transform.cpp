// The spline helpers: evaluate one of a section's splines and hand it to GL.
#include "sections/transform.h"

#include <GL/gl.h>

#include "base/error.h"
#include "resources/spline.h"
#include "script/section.h"

void spline_channels(const Section& s, float time, int i, float* ch) {
    const Spline* spline = s.splines[i];
    if (spline != nullptr && spline->key_count > 0) spline_eval(spline, ch, time);
}

namespace {
// Transform steps multiplied into the current GL matrix by GL itself.
struct GlSteps {
    void scale(float x, float y, float z) { glScalef(x, y, z); }
    void rotate(float degrees, float x, float y, float z) { glRotatef(degrees, x, y, z); }
    void translate(float x, float y, float z) { glTranslatef(x, y, z); }
};
}  // namespace

// Channels a spline lacks read as 0 (init refuses such splines where it matters).
void spline_transform_srt(const Section& s, float time, int i) {
    float ch[SPLINE_MAX_CHANNELS] = {};
    spline_channels(s, time, i, ch);
    GlSteps steps;
    transform_srt_steps(ch, steps);
}

void spline_color(const Section& s, float time, int i) {
    float ch[SPLINE_MAX_CHANNELS] = {};
    spline_channels(s, time, i, ch);
    glColor4f(ch[0], ch[1], ch[2], ch[3]);
}

void spline_require_channels(const Section& s, const char* type, int index, int needed) {
    if (section_spline_short(s, index, needed)) {
        ErrorPlace place = section_at_spline(s, index);
        fatal_error("%s: spline %d has %d channels, %d needed", type, index, s.splines[index]->channels,
                    needed);
    }
}
