// Debug overlays and benchmark. Placeholder until the font and overlay land.
#include "core/overlay.h"

void overlay_fps() {}
void overlay_timing() {}
void benchmark_report() {}
