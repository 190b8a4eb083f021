// Keyboard control: Escape and closing the window quit, F and T switch the overlays, S saves a
// screenshot; a table of held keys serves the debug camera.
#pragma once

#include <SDL/SDL.h>

#include "gfx/key_state.h"

struct ShowSettings;

// Handles one window event; true when it asks to quit (Escape, the window closed). F and T flip
// the overlays of the demo whose `settings` they are.
bool key_event(const SDL_Event& event, ShowSettings& settings);
