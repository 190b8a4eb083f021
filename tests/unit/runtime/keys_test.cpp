#include "runtime/keys.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

#include "base/config.h"
#include "runtime/sequencer.h"

namespace {

ShowSettings settings;

void send(Uint8 type, SDLKey sym, SDLMod mod = KMOD_NONE) {
    SDL_Event e{};
    e.type = e.key.type = type;
    e.key.keysym.sym = sym, e.key.keysym.mod = mod;
    key_event(e, settings);
}

void press(SDLKey sym, SDLMod mod = KMOD_NONE) {
    send(SDL_KEYDOWN, sym, mod);
    send(SDL_KEYUP, sym, mod);
}

}  // namespace

TEST(Keys, FAndTSwitchTheOverlaysOffEachOtherAndHeldKeysAreRecorded) {
    const std::tuple<SDLKey, SDLMod, int, int> steps[] = {
        {SDLK_f, KMOD_NONE, 1, 0},   {SDLK_f, KMOD_NONE, 0, 0}, {SDLK_t, KMOD_NONE, 0, 1},
        {SDLK_f, KMOD_LSHIFT, 1, 0}, {SDLK_t, KMOD_NONE, 0, 1}, {SDLK_t, KMOD_NONE, 0, 0}};
    settings.fps = 0;
    settings.timing = 1;
    for (const auto& [key, mod, fps_after, timing_after] : steps) {
        press(key, mod);
        EXPECT_EQ(std::pair(settings.fps, settings.timing), std::pair(fps_after, timing_after));
    }
    settings.fps = 2;  // a script value: F flips its low bit
    press(SDLK_f);
    EXPECT_EQ(settings.fps, 3);

    // Held keys are recorded below symbol 256.
    send(SDL_KEYDOWN, SDLK_g);
    const int held = key_state['g'];
    send(SDL_KEYUP, SDLK_g);
    EXPECT_EQ(std::pair(held, key_state['g']), std::pair(1, 0));
    std::vector<int32_t> before(std::begin(key_state), std::end(key_state));
    send(SDL_KEYDOWN, SDLK_UP);  // symbols past the table are not recorded
    EXPECT_EQ(std::vector<int32_t>(std::begin(key_state), std::end(key_state)), before);
    send(SDL_KEYUP, SDLK_UP);
}
