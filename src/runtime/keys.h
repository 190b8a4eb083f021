// Keyboard control: Escape and closing the window quit, F and T switch the overlays, S saves a
// screenshot; a table of held keys serves the debug camera.
#pragma once

#include <SDL/SDL.h>

#include "gfx/key_state.h"

// Handles one window event; true when it asks to quit (Escape, the window closed).
bool key_event(const SDL_Event& event);
