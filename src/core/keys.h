// Keyboard control: Escape and closing the window quit, F and T switch the overlays, S saves a
// screenshot; a table of held keys serves the debug camera.
#pragma once

#include <SDL/SDL.h>

#include <cstdint>

inline constexpr int KEY_STATE_SIZE = 256;

// 1 while the key with that SDL key symbol is held down; symbols of 256 and above are not kept.
extern int32_t key_state[KEY_STATE_SIZE];

void key_event(const SDL_Event& event);
