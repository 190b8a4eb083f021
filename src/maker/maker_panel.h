// The maker's panels over the frame: the error while the show is broken, the status line
// (time, bar, playing or paused, loop) always, and the demo's own fps or timing overlay.
#pragma once

#include "maker/maker_playback.h"

// Without the font (it failed to load) the panels show without their text, the error's red
// then opaque so that it still reads as one.
void panel_draw_overlays(const Playback& play, bool font_loaded);
