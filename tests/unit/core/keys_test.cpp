#include "core/keys.h"

#include <gtest/gtest.h>

#include "core/config.h"
#include "core/sequencer.h"

namespace {

SDL_Event key(Uint8 type, SDLKey sym, SDLMod mod = KMOD_NONE) {
    SDL_Event e{};
    e.type = type;
    e.key.type = type;
    e.key.keysym.sym = sym;
    e.key.keysym.mod = mod;
    return e;
}

void press(SDLKey sym, SDLMod mod = KMOD_NONE) {
    key_event(key(SDL_KEYDOWN, sym, mod));
    key_event(key(SDL_KEYUP, sym, mod));
}

class Keys : public ::testing::Test {
  protected:
    void SetUp() override {
        fps = timing = 0;
        quit_flag = false;
    }
    void TearDown() override {
        fps = timing = 0;
        quit_flag = false;
    }
};

}  // namespace

TEST_F(Keys, FAndTSwitchTheOverlaysOffEachOther) {
    timing = 1;
    press(SDLK_f);
    EXPECT_EQ(fps, 1);
    EXPECT_EQ(timing, 0);
    press(SDLK_f);
    EXPECT_EQ(fps, 0);
    EXPECT_EQ(timing, 0);
    press(SDLK_t);
    EXPECT_EQ(timing, 1);
    press(SDLK_f, KMOD_LSHIFT);  // modifiers do not matter
    EXPECT_EQ(fps, 1);
    EXPECT_EQ(timing, 0);
    press(SDLK_t);
    EXPECT_EQ(fps, 0);
    EXPECT_EQ(timing, 1);
}

TEST_F(Keys, FTogglesTheLowBitOfAScriptValue) {
    fps = 2;
    press(SDLK_f);
    EXPECT_EQ(fps, 3);
    press(SDLK_f);
    EXPECT_EQ(fps, 2);
}

TEST_F(Keys, HeldKeysAreRecordedBelowSymbol256) {
    key_event(key(SDL_KEYDOWN, SDLK_SPACE));
    EXPECT_EQ(key_state[32], 1);
    key_event(key(SDL_KEYDOWN, SDLK_g));
    EXPECT_EQ(key_state['g'], 1);
    key_event(key(SDL_KEYUP, SDLK_SPACE));
    EXPECT_EQ(key_state[32], 0);
    EXPECT_EQ(key_state['g'], 1);
    key_event(key(SDL_KEYUP, SDLK_g));

    int32_t before[KEY_STATE_SIZE];
    std::copy(std::begin(key_state), std::end(key_state), before);
    key_event(key(SDL_KEYDOWN, SDLK_UP));
    key_event(key(SDL_KEYDOWN, SDLK_KP5));
    EXPECT_TRUE(std::equal(std::begin(key_state), std::end(key_state), before));
    key_event(key(SDL_KEYUP, SDLK_UP));
}
