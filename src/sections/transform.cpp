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

// Channels a spline lacks read as 0 (init refuses such splines where it matters).
void spline_transform_srt(const Section& s, float time, int i) {
    float ch[SPLINE_MAX_CHANNELS] = {};
    spline_channels(s, time, i, ch);
    glScalef(ch[0], ch[1], ch[2]);
    glRotatef(ch[3], 1, 0, 0);
    glRotatef(ch[4], 0, 1, 0);
    glRotatef(ch[5], 0, 0, 1);
    glTranslatef(ch[6], ch[7], ch[8]);
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
