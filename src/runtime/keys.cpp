// The key handler, fed one event at a time by the main loop and the load phase.
#include "runtime/keys.h"

#include "runtime/capture.h"
#include "base/config.h"

namespace {
bool key_in_table(SDLKey sym) {
    int code = static_cast<int>(sym);
    return code >= 0 && code < KEY_STATE_SIZE;
}
}  // namespace

bool key_event(const SDL_Event& event, ShowSettings& settings) {
    bool quit = false;
    switch (event.type) {
        case SDL_KEYDOWN: {
            SDLKey sym = event.key.keysym.sym;
            // Symbols carry no modifiers: Shift+F is F.
            switch (sym) {
                case SDLK_ESCAPE:
                    quit = true;
                    break;
                case SDLK_f:
                    settings.fps ^= 1;
                    settings.timing = 0;
                    break;
                case SDLK_t:
                    settings.timing ^= 1;
                    settings.fps = 0;
                    break;
                case SDLK_s:
                    screenshot_request();
                    break;
                default:
                    break;
            }
            if (key_in_table(sym)) key_state[sym] = 1;
            break;
        }
        case SDL_KEYUP:
            if (key_in_table(event.key.keysym.sym)) key_state[event.key.keysym.sym] = 0;
            break;
        case SDL_QUIT:
            quit = true;
            break;
        default:
            break;
    }
    return quit;
}
