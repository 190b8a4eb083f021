// Blending and the alpha test as a section sets them for its drawing, and puts them back.
#pragma once

// Enables blending with the factors `src` and `dst` (GL enums); blend_end disables it.
void blend_begin(int src, int dst);
void blend_end();
// Enables the alpha test with the function `func` (a GL enum) and reference `ref`;
// alpha_test_end disables it.
void alpha_test_begin(int func, float ref);
void alpha_test_end();
