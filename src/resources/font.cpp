// The bitmap font. Placeholder until the font lands: nothing is loaded or drawn.
#include "resources/font.h"

Font system_font;
const char font_charmap[] = "";

void font_init(Font*, const char*, int, int, const char*) {}
void font_print(const Font&, const char*, ...) {}
