// Text drawn with the bitmap font over the frame, in pixels of the configured video size.
#pragma once

#include "resources/font.h"

// Formats as printf does (cut at FONT_TEXT_MAX - 1 characters) and draws the text at the
// font's pen in its colour.
void font_print(const Font& font, const char* format, ...) __attribute__((format(printf, 2, 3)));
