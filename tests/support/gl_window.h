// A real OpenGL context in a small SDL window on the test X server, for tests of code that talks
// to GL directly. The fixture works in a temporary directory with an empty texture table.
#pragma once

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "player_run.h"
#include "resources/texture.h"
#include "test_support.h"

// The virtual X server now and then refuses a connection made right after another one closed
// (SDL probes the display and then opens it again), so opening is retried a few times.
inline bool open_gl_window(int width, int height, std::string& error) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (SDL_Init(SDL_INIT_VIDEO) == 0) {
            if (SDL_SetVideoMode(width, height, 0, SDL_OPENGL) != nullptr) return true;
            error = SDL_GetError();
            SDL_Quit();
        } else {
            error = SDL_GetError();
        }
        SDL_Delay(50);
    }
    return false;
}

template <int Width, int Height = Width>
struct GlWindowTest : ::testing::Test {
    void SetUp() override {
        setenv("DISPLAY", xvfb_display().c_str(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        std::string error;
        ASSERT_TRUE(open_gl_window(Width, Height, error)) << error;
        glEnable(GL_TEXTURE_2D);
        texture_table_reset();
        cd = std::make_unique<ScopedChdir>(dir.path);
    }
    void TearDown() override {
        cd.reset();
        texture_table_reset();
        SDL_Quit();
    }
    TempDir dir;
    std::unique_ptr<ScopedChdir> cd;
};
