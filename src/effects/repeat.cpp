// The "efxRepeat" section type. The inner section is not on the sequencer's lists: this type
// calls its start, render and stop callbacks itself, where the outer section draws.
#include "effects/repeat.h"

#include "core/error.h"

int repeat_inner_type(const Section& outer) {
    if (outer.param_count < 3) fatal_error("%d float(s) needed in repeat", 3);
    if (outer.string_count < 1) fatal_error("%d string(s) needed in repeat", 1);
    const int type = section_type_find(outer.strings[0].c_str());
    if (type < 0) fatal_error("Script: unknown section '%s' in repeat", outer.strings[0].c_str());
    return type;
}

void repeat_fill_inner(Section& inner, const Section& outer, int type) {
    inner.type = type;
    inner.start = outer.start;
    inner.duration = outer.params[1];
    inner.end = inner.start + inner.duration;
    inner.layer = outer.layer;
    inner.elapsed = outer.params[2];
    inner.sync_count = outer.sync_count;
    for (int i = 0; i < outer.sync_count; ++i) inner.syncs[i] = outer.syncs[i];
    inner.param_count = outer.param_count - 3;
    for (int i = 0; i < inner.param_count; ++i) inner.params[i] = outer.params[i + 3];
    inner.string_count = outer.string_count - 1;
    for (int i = 0; i < inner.string_count; ++i) inner.strings[i] = outer.strings[i + 1];
    // The splines stay owned by the outer section; the inner one only refers to them.
    inner.spline_count = outer.spline_count;
    for (int i = 0; i < outer.spline_count; ++i) {
        inner.spline_names[i] = outer.spline_names[i];
        inner.splines[i] = outer.splines[i];
        inner.spline_durations[i] = outer.spline_durations[i];
    }
}

void repeat_rewind(Repeat& r, const Section& outer) {
    r.inner->start = outer.start;
    r.inner->end = r.inner->start + r.inner->duration;
    r.offset = 0;
    r.active = false;
}

bool repeat_begin(Repeat& r, const Section& outer, float now) {
    Section& inner = *r.inner;
    if (r.active || !(inner.start <= now)) return false;
    const float period = outer.params[0];
    const float length = outer.params[1];
    inner.elapsed = outer.params[2];
    // A repetition longer than the period is cut off where the next one begins.
    r.next = length > period ? inner.start + period : inner.end;
    r.offset = outer.elapsed;
    r.active = true;
    return true;
}

bool repeat_continue(Repeat& r, const Section& outer, float now) {
    if (!r.active) return false;
    Section& inner = *r.inner;
    inner.elapsed = outer.params[2] + outer.elapsed - r.offset;
    if (r.next >= now) return true;
    // The frame that ends a repetition draws nothing; the next one begins a frame later.
    inner.start += outer.params[0];
    inner.end = inner.start + inner.duration;
    r.active = false;
    return false;
}

// Callbacks come with the type's implementation; until then every slot is the shared no-op.
extern const SectionType efx_repeat_type = {"efxRepeat",  section_noop, section_noop,
                                            section_noop, section_noop, section_noop};
