// The order in which the system comes up and goes down.
#include "core/startup.h"

#include <SDL/SDL.h>

void demo_init() {}

void demo_shutdown() {
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    SDL_Quit();
}
