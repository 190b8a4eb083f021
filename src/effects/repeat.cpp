// The "efxRepeat" section type. The inner section is not on the sequencer's lists: this type
// calls its start, render and stop callbacks itself, where the outer section draws.
#include "effects/repeat.h"

#include "base/error.h"
#include "script/parser.h"
#include "script/reference.h"
#include "sections/demo.h"

int repeat_inner_type(const Section& outer, const SectionTypes& types) {
    if (outer.param_count < 3) fatal_error("%d float(s) needed in repeat", 3);
    if (outer.string_count < 1) fatal_error("%d string(s) needed in repeat", 1);
    const int type = types.find(outer.strings[0].c_str());
    if (type < 0) {
        ErrorPlace place(outer.script, outer.string_lines[0] > 0 ? outer.string_lines[0] : outer.line,
                         script_did_you_mean(outer.strings[0], reference_names(ReferenceKind::Type)));
        fatal_error("Script: unknown section '%s' in repeat", outer.strings[0].c_str());
    }
    return type;
}

void repeat_fill_inner(Section& inner, const Section& outer, int type) {
    inner.type = type;
    // Errors about the inner section are placed at the outer section's statements.
    inner.script = outer.script;
    inner.line = outer.line;
    inner.start_line = outer.start_line;
    inner.end_line = outer.end_line;
    inner.start = outer.start;
    inner.duration = outer.params[1];
    inner.end = inner.start + inner.duration;
    inner.layer = outer.layer;
    inner.elapsed = outer.params[2];
    inner.sync_count = outer.sync_count;
    for (int i = 0; i < outer.sync_count; ++i) inner.syncs[i] = outer.syncs[i];
    inner.param_count = outer.param_count - 3;
    for (int i = 0; i < inner.param_count; ++i) {
        inner.params[i] = outer.params[i + 3];
        inner.param_lines[i] = outer.param_lines[i + 3];
    }
    inner.string_count = outer.string_count - 1;
    for (int i = 0; i < inner.string_count; ++i) {
        inner.strings[i] = outer.strings[i + 1];
        inner.string_lines[i] = outer.string_lines[i + 1];
    }
    // The splines stay owned by the outer section; the inner one only refers to them.
    inner.spline_count = outer.spline_count;
    for (int i = 0; i < outer.spline_count; ++i) {
        inner.spline_names[i] = outer.spline_names[i];
        inner.splines[i] = outer.splines[i];
        inner.spline_durations[i] = outer.spline_durations[i];
        inner.spline_lines[i] = outer.spline_lines[i];
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

namespace {

// The repeat's own counts and names, then the inner type's checks on the inner section.
void repeat_check(const Section& outer, const SectionTypes& types, bool files) {
    const int type = repeat_inner_type(outer, types);
    Section inner;
    repeat_fill_inner(inner, outer, type);
    types[type]->check(inner, types, files);
}

void repeat_init(Section& outer, Frame& f) {
    const SectionTypes& types = f.demo.types;
    const int type = repeat_inner_type(outer, types);
    Repeat* r = demo_record_new<Repeat>(f.demo);
    r->inner = std::make_unique<Section>();
    repeat_fill_inner(*r->inner, outer, type);
    outer.data = r;
    // The load phase prepares only the types the script uses directly; an inner type's shared
    // resources must exist too. Prepare callbacks make their resources only once, so calling
    // it again when the script also has a direct section of the type changes nothing.
    types[type]->prepare(*r->inner, f);
    types[type]->init(*r->inner, f);
}

void repeat_start(Section& outer, Frame&) {
    repeat_rewind(*static_cast<Repeat*>(outer.data), outer);
}

void repeat_render(Section& outer, Frame& f) {
    Repeat& r = *static_cast<Repeat*>(outer.data);
    Section& inner = *r.inner;
    const SectionType& type = *f.demo.types[inner.type];
    if (repeat_begin(r, outer, f.time)) type.start(inner, f);
    if (repeat_continue(r, outer, f.time)) type.render(inner, f);
}

// The repeat's clock runs in an undrawn frame as in a drawn one, and the inner section is
// started and skipped where it would be started and drawn.
void repeat_skip(Section& outer, Frame& f) {
    Repeat& r = *static_cast<Repeat*>(outer.data);
    Section& inner = *r.inner;
    const SectionType& type = *f.demo.types[inner.type];
    if (repeat_begin(r, outer, f.time)) type.start(inner, f);
    if (repeat_continue(r, outer, f.time) && type.skip != nullptr) type.skip(inner, f);
}

void repeat_stop(Section& outer, Frame& f) {
    Section& inner = *static_cast<Repeat*>(outer.data)->inner;
    f.demo.types[inner.type]->stop(inner, f);
}

}  // namespace

extern const SectionType efx_repeat_type = {"efxRepeat",  section_noop,  repeat_init,
                                            repeat_start, repeat_render, repeat_stop,
                                            repeat_check, nullptr,       repeat_skip};
