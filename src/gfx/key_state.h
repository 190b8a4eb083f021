// The held keys: the table the main loop's key handling (runtime/keys) fills and the free camera
// reads. It lives here, below both, because gfx may not include runtime.
#pragma once

#include <cstdint>

// 1 while the key with that SDL key symbol is held down; symbols of 256 and above are not kept.
inline constexpr int KEY_STATE_SIZE = 256;
inline int32_t key_state[KEY_STATE_SIZE] = {};
