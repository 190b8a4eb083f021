// efxRepeat: runs another section type again and again on a clock of its own, through a
// hidden inner section built from the outer section's fields.
#pragma once

#include <memory>

#include "script/section.h"

struct Repeat {
    std::unique_ptr<Section> inner;
    float next = 0;    // demo time at which the running repetition ends
    float offset = 0;  // the outer section's elapsed time when it began
    bool active = false;
};

// Checks the outer section's counts and the inner type name; returns the inner type's row.
int repeat_inner_type(const Section& outer, const SectionTypes& types);

// Fills a zero-filled inner section from the outer one: the first three params and the first
// string belong to the repeat, the rest, the syncs and the splines go to the inner type.
void repeat_fill_inner(Section& inner, const Section& outer, int type);

// Rewinds the clock to the outer section's start.
void repeat_rewind(Repeat& r, const Section& outer);

// One frame of the clock, in two steps. repeat_begin returns whether a repetition begins now
// (the inner start callback is due); repeat_continue then returns whether the inner section
// draws this frame, and ends the repetition when its time is over.
bool repeat_begin(Repeat& r, const Section& outer, float now);
bool repeat_continue(Repeat& r, const Section& outer, float now);
