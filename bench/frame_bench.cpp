// Frames per second of the player's frame loop against a bare SDL/GL loop doing the same GL
// work: a demo of one background at the default 800 x 600 window (512 x 512 frame, 16:9 band),
// and a loop that only clears, draws the same textured quad, copies the frame into a texture,
// draws it into the band and swaps. The ratio shows what sequencing and callbacks cost on top
// of the GL work. Then the same two recording every frame (record 1): the player saving each
// frame as video/NNNNNNNN.tga against the bare loop reading the frame with glReadPixels and
// writing it with fwrite after a TGA header. Needs an X display (Xvfb will do).
//
// Run: build/frame_bench (built with the other benchmarks; `make bench` runs them all).
#include <GL/gl.h>
#include <SDL/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/config.h"
#include "runtime/registry.h"
#include "runtime/capture.h"
#include "rounds.h"
#include "runtime/sequencer.h"
#include "gfx/window.h"
#include "gfx/ortho.h"
#include "resources/texture.h"
#include "script/parser.h"
#include "script/section.h"

namespace {

constexpr int ROUNDS = 5;

void write_picture(const std::string& path, int size) {
    std::string data(18, '\0');
    data[2] = 2;
    data[12] = static_cast<char>(size & 0xFF);
    data[13] = static_cast<char>(size >> 8);
    data[14] = data[12];
    data[15] = data[13];
    data[16] = 24;
    for (int i = 0; i < size * size; ++i)
        data += {static_cast<char>(i % 251), static_cast<char>(i % 13), '\x40'};
    std::ofstream(path, std::ios::binary) << data;
}

// The demo played, kept for the whole run.
Demo& bench_demo() {
    static Demo* demo = new Demo(section_types);
    return *demo;
}

Section* add_section(int type, float end, std::initializer_list<std::string> strings) {
    Section* s = bench_demo().sections.add();
    s->type = type;
    s->end = end;
    s->duration = end;
    for (const std::string& text : strings) s->strings[s->string_count++] = text;
    return s;
}

void textured_square() {
    glBegin(GL_QUADS);
    glTexCoord2f(0, 1);
    glVertex2f(0, 0);
    glTexCoord2f(1, 1);
    glVertex2f(1, 0);
    glTexCoord2f(1, 0);
    glVertex2f(1, 1);
    glTexCoord2f(0, 0);
    glVertex2f(0, 1);
    glEnd();
}

}  // namespace

int main() {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "tarvel-frame-bench";
    std::filesystem::create_directories(dir);
    std::string picture = (dir / "picture.tga").string();
    write_picture(picture, 512);

    Section* loading = add_section(0, 0, {picture, picture});
    loading->param_count = 4;
    add_section(section_types.find("background"), 1e9f, {picture});
    window_open(WindowSettings());
    clock_reset(bench_demo());
    load_phase(bench_demo());
    clock_sync(bench_demo());

    auto player = [] {
        SDL_Event event;
        while (SDL_PollEvent(&event) != 0) {
        }
        frame_step(bench_demo());
    };

    // The same GL work without the sequencer.
    int texture = texture_load(picture.c_str(), bench_demo().settings.texture_detail);
    texture_set_flags(texture, TEX_CLAMP);
    texture_upload(texture);
    int band_y = (window_settings().gl_height - present_height) / 2;
    auto bare = [&] {
        SDL_Event event;
        while (SDL_PollEvent(&event) != 0) {
        }
        glViewport(0, 0, window_settings().gl_rttWidth, window_settings().gl_rttHeight);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_DEPTH_TEST);
        ortho_begin();
        texture_bind(texture);
        textured_square();
        ortho_end();
        glEnable(GL_DEPTH_TEST);
        texture_bind(frame_texture);
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, window_settings().gl_rttWidth,
                            window_settings().gl_rttHeight);
        glClear(GL_COLOR_BUFFER_BIT);
        glViewport(0, band_y, present_width, present_height);
        ortho_begin();
        fullscreen_quad_textured();
        ortho_end();
        glFinish();
        SDL_GL_SwapBuffers();
    };
    rounds::compare(
        "frame loop, one background, 800 x 600", rounds::ms_per_frame, ROUNDS,
        [&] { return rounds::ms_per_call([&](int) { player(); }, 1.0); },
        [&] { return rounds::ms_per_call([&](int) { bare(); }, 1.0); });

    // Recording: every frame read back and written, by the player and by the bare loop.
    const std::filesystem::path video = dir / "video";
    std::filesystem::create_directories(video);
    std::filesystem::current_path(dir);
    bench_demo().settings.record = 1;
    record_check_folder(true);
    std::vector<uint8_t> pixels(static_cast<size_t>(window_settings().gl_rttWidth) *
                                window_settings().gl_rttHeight * 3);
    const auto header = tga_header(window_settings().gl_rttWidth, window_settings().gl_rttHeight, false);
    int written = 0;
    auto bare_recording = [&] {
        bare();
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, window_settings().gl_rttWidth, window_settings().gl_rttHeight, GL_BGR,
                     GL_UNSIGNED_BYTE, pixels.data());
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        char name[32];
        std::snprintf(name, sizeof name, "video/bare%08d.tga", written++);
        if (FILE* f = std::fopen(name, "wb")) {
            std::fwrite(header.data(), 1, header.size(), f);
            std::fwrite(pixels.data(), 1, pixels.size(), f);
            std::fclose(f);
        }
    };
    // Each round leaves its frames behind; they are removed between rounds, untimed.
    auto emptied = [&](double figure) {
        std::filesystem::remove_all(video);
        std::filesystem::create_directories(video);
        return figure;
    };
    rounds::compare(
        "recording every frame, one background", rounds::ms_per_frame, ROUNDS,
        [&] { return emptied(rounds::ms_per_call([&](int) { player(); }, 1.0)); },
        [&] { return emptied(rounds::ms_per_call([&](int) { bare_recording(); }, 1.0)); });

    SDL_Quit();
    std::filesystem::current_path("/");
    std::filesystem::remove_all(dir);
    return 0;
}
