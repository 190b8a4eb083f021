// Video mode, OpenGL default state, the render-to-texture frame and its per-frame steps.
#include "gfx/window.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/glx.h>
#include <SDL/SDL.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/error.h"
#include "resources/texture.h"

int frame_texture = -1;
int effect_texture = -1;
int32_t present_width = 0;
int32_t present_height = 0;

namespace {
int32_t present_y = 0;
// Process-wide as the window is: one window, opened once.
WindowSettings window;
}  // namespace

const WindowSettings& window_settings() {
    return window;
}

namespace {

const char* gl_text(GLenum name) {
    const GLubyte* s = glGetString(name);
    return s != nullptr ? reinterpret_cast<const char*>(s) : "";
}

const char* glu_error_text(GLenum error) {
    const GLubyte* s = gluErrorString(error);
    return s != nullptr ? reinterpret_cast<const char*>(s) : "unknown error";
}

void driver_description() {
    std::printf("\n// OpenGL driver information\n");
    std::printf("// ---------------------------\n\n");
    std::printf("vendor :\n%s\n\n", gl_text(GL_VENDOR));
    std::printf("renderer :\n%s\n\n", gl_text(GL_RENDERER));
    std::printf("version : \n%s\n\n", gl_text(GL_VERSION));
    std::printf("standard extensions : \n");
    std::printf("%s\n\n", gl_text(GL_EXTENSIONS));
    std::printf("ARB extensions : \n");
    // The window system's own extension string: GLX's on this platform.
    Display* display = glXGetCurrentDisplay();
    if (display != nullptr) {
        const char* glx = glXQueryExtensionsString(display, DefaultScreen(display));
        if (glx != nullptr) std::printf("%s\n", glx);
    }
    std::fflush(stdout);
}

void default_state() {
    GLenum error = glGetError();
    if (error != GL_NO_ERROR) fatal_error("Error before init OpenGL state: %s", glu_error_text(error));

    glViewport(0, 0, window.gl_width, window.gl_height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0, 0, 0, 0);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glDisable(GL_ALPHA_TEST);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glShadeModel(GL_FLAT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_CULL_FACE);

    error = glGetError();
    if (error != GL_NO_ERROR) fatal_error("Error setting OpenGL default state: %s", glu_error_text(error));
}

int frame_sized_texture() {
    int handle = texture_create(window.gl_rttWidth, window.gl_rttHeight, GL_RGB, 3);
    texture_set_flags(handle, TEX_NO_MIPMAP | TEX_CLAMP);
    texture_upload(handle);
    return handle;
}

}  // namespace

PresentBand present_band(int32_t window_width, int32_t window_height, bool panoramic) {
    PresentBand band;
    band.aspect = panoramic ? 16.0f / 9.0f : 4.0f / 3.0f;
    band.width = window_width;
    // Rounded: 640 / (16/9 in float) is 359.99998, and a 640 x 360 band is what was meant.
    band.height = static_cast<int32_t>(
        std::lround(static_cast<double>(window_width) / static_cast<double>(band.aspect)));
    band.y = static_cast<int32_t>(static_cast<double>(window_height - band.height) * 0.5);
    return band;
}

bool display_available() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

std::string window_size_problem(int32_t window_width, int32_t window_height, int32_t frame_width,
                                int32_t frame_height) {
    char message[128];
    if (window_width <= 0 || window_height <= 0) {
        std::snprintf(message, sizeof message, "Invalid window size %dx%d", window_width, window_height);
    } else if (frame_width <= 0 || frame_height <= 0) {
        std::snprintf(message, sizeof message, "Invalid render-to-texture size %dx%d", frame_width,
                      frame_height);
    } else if (frame_width > window_width || frame_height > window_height) {
        std::snprintf(message, sizeof message,
                      "Render-to-texture size %dx%d does not fit in the %dx%d window", frame_width,
                      frame_height, window_width, window_height);
    } else {
        return "";
    }
    return message;
}

void window_open(const WindowSettings& settings) {
    window = settings;
    // The frame is drawn into the window's back buffer, so it has to fit there.
    std::string problem =
        window_size_problem(window.gl_width, window.gl_height, window.gl_rttWidth, window.gl_rttHeight);
    if (!problem.empty()) fatal_error("%s", problem.c_str());

    // Without a display SDL would fall back to a text-mode driver and fill the terminal; only a
    // driver the user chose on purpose (SDL_VIDEODRIVER) is tried then.
    if (!display_available()) {
        fatal_error(
            "No display: neither DISPLAY nor WAYLAND_DISPLAY is set. To play without a "
            "screen, run the player under a virtual X server with examples/with-virtual-display "
            "(installed as tarvel-virtual-display): examples/with-virtual-display tarvel DEMO_DIR");
    }
    if (SDL_Init(SDL_INIT_VIDEO) < 0) fatal_error("Video initialization failed: %s", SDL_GetError());
    const SDL_VideoInfo* info = SDL_GetVideoInfo();
    if (info == nullptr) fatal_error("Get video info failed: %s", SDL_GetError());
    SDL_ShowCursor(SDL_DISABLE);

    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, window.gl_zbuffer);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, window.gl_stencil);
    SDL_WM_SetCaption(window.demo_name.c_str(), nullptr);

    Uint32 flags = SDL_OPENGL | SDL_HWSURFACE;
    if (window.gl_fullscreen != 0) {
        flags |= SDL_FULLSCREEN;
    } else {
        window.gl_bpp = info->vfmt->BitsPerPixel;
    }
    if (SDL_SetVideoMode(window.gl_width, window.gl_height, window.gl_bpp, flags) == nullptr) {
        fatal_error("Set video mode failed: %s", SDL_GetError());
    }

    if (window.gl_info != 0) driver_description();
    default_state();

    frame_texture = frame_sized_texture();
    PresentBand band = present_band(window.gl_width, window.gl_height, window.gl_panoramic != 0);
    present_width = band.width;
    window.display_aspect = band.aspect;
    present_height = band.height;
    present_y = band.y;
    effect_texture = frame_sized_texture();
}

void frame_begin() {
    glViewport(0, 0, window.gl_rttWidth, window.gl_rttHeight);
    GLbitfield mask = GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT;
    if (window.gl_stencil > 0) mask |= GL_STENCIL_BUFFER_BIT;
    glClear(mask);
}

void frame_copy_to_texture() {
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, window.gl_rttWidth, window.gl_rttHeight);
}

void frame_present() {
    GLenum error = glGetError();
    if (error != GL_NO_ERROR) warning_message("Error in OpenGL: %s", glu_error_text(error));

    texture_bind(frame_texture);
    frame_copy_to_texture();
    frame_present_again();
}

void frame_present_again() {
    texture_bind(frame_texture);
    glViewport(0, 0, window.gl_width, window.gl_height);
    glClear(GL_COLOR_BUFFER_BIT);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glViewport(0, present_y, present_width, present_height);
    fullscreen_quad_textured();
}

void frame_swap() {
    glFinish();
    SDL_GL_SwapBuffers();
}

void fullscreen_quad() {
    glBegin(GL_TRIANGLE_STRIP);
    glVertex2f(0, 0);
    glVertex2f(0, 1);
    glVertex2f(1, 0);
    glVertex2f(1, 1);
    glEnd();
}

void fullscreen_quad_textured() {
    glBegin(GL_TRIANGLE_STRIP);
    glTexCoord2f(0, 0);
    glVertex2f(0, 0);
    glTexCoord2f(0, 1);
    glVertex2f(0, 1);
    glTexCoord2f(1, 0);
    glVertex2f(1, 0);
    glTexCoord2f(1, 1);
    glVertex2f(1, 1);
    glEnd();
}
