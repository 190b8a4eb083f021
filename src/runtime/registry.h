// The player's table of section types, in the fixed order the scripts' numbers and the
// benchmarks rely on: row 0 is "loading".
#pragma once

#include "script/section.h"

inline constexpr int SECTION_TYPE_COUNT = 21;

// The rows the player picks out by their place in that order: the loading screen, the camera
// whose span the checker compares with those drawn in its space, the music.
inline constexpr int SECTION_TYPE_LOADING = 0;
inline constexpr int SECTION_TYPE_CAMERA = 13;
inline constexpr int SECTION_TYPE_SOUND = 20;

extern const SectionTypes section_types;
