// The debug overlays (frame-rate line, statistics block) and the benchmark score.
#pragma once

void overlay_fps();
void overlay_timing();

// Shows "Score: %.2f" after the window has closed (called by demo_shutdown when asked).
void benchmark_report();
