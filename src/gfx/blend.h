// Blending and the alpha test as a section sets them for its drawing, and puts them back.
#pragma once

// When `on`: enables blending with the factors `src` and `dst` (GL enums).
void blend_begin(bool on, int src, int dst);
void blend_end(bool on);
// When `on`: enables the alpha test with the function `func` (a GL enum) and reference `ref`.
void alpha_test_begin(bool on, int func, float ref);
void alpha_test_end(bool on);
