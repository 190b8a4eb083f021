// 2D drawing on the unit square, origin at the lower left; both matrices are saved and restored.
#pragma once

void ortho_begin();
void ortho_end();
