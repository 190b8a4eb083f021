// The player's table of section types, in the fixed order the scripts' numbers and the
// benchmarks rely on: row 0 is "loading".
#pragma once

#include "script/section.h"

inline constexpr int SECTION_TYPE_COUNT = 21;

extern const SectionTypes section_types;
