// The "loading" section type: the loading screen shown while the load phase initialises the
// sections. A background picture, a second picture fading in with the progress, and a bar.
#include <GL/gl.h>

#include <memory>
#include <vector>

#include "base/error.h"
#include "gfx/ortho.h"
#include "sections/demo.h"
#include "gfx/window.h"
#include "resources/texture.h"
#include "script/section.h"
#include "sections/section_files.h"

namespace {

struct LoadingScreen {
    int front_texture = -1;
    int back_texture = -1;
    float rect[4] = {0, 0, 1, 1};
    float vertices[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    float texcoords[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    float bar[4] = {0.15f, 0.18f, 0.85f, 0.2f};
    float bar_width = 0;
    float bar_color[4] = {};
};

int picture_load(Demo& demo, const Section& s, int i) {
    int texture = section_texture_load(demo, s, i);
    texture_set_flags(texture, TEX_CLAMP);
    texture_upload(texture);
    return texture;
}

void picture_draw(const LoadingScreen& ls, int texture) {
    texture_bind(texture);
    glBegin(GL_QUADS);
    for (int i = 0; i < 4; ++i) {
        glTexCoord2fv(ls.texcoords[i]);
        glVertex2fv(ls.vertices[i]);
    }
    glEnd();
}

void loading_check(const Section& s, const SectionTypes&, bool files) {
    if (s.param_count != 4) fatal_error("loading: four floats needed");
    if (s.string_count != 2) fatal_error("loading: two strings needed");
    if (files) {
        section_texture_check(s, 0);
        section_texture_check(s, 1);
    }
}

void loading_init(Section& section_, Frame& f) {
    Section* s = &section_;
    loading_check(*s, f.demo.types, false);
    LoadingScreen* ls = demo_record_new<LoadingScreen>(f.demo);
    s->data = ls;
    ls->back_texture = picture_load(f.demo, *s, 0);
    ls->front_texture = picture_load(f.demo, *s, 1);
    ls->bar_width = ls->bar[2] - ls->bar[0];
    for (int i = 0; i < 4; ++i) ls->bar_color[i] = s->params[i];
}

void loading_render(Section& s, Frame& f) {
    const LoadingScreen& ls = *static_cast<const LoadingScreen*>(s.data);
    float p = f.load_progress;

    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    ortho_begin();

    glColor4f(1, 0, 0, 1);
    picture_draw(ls, ls.back_texture);
    glColor4f(1, 1, 1, p);
    picture_draw(ls, ls.front_texture);

    glDisable(GL_TEXTURE_2D);
    const float* bar = ls.bar;
    glColor4f(0, 0, 0, ls.bar_color[3]);
    glBegin(GL_LINE_LOOP);
    glVertex2f(bar[0], bar[1]);
    glVertex2f(bar[0], bar[3]);
    glVertex2f(bar[2], bar[3]);
    glVertex2f(bar[2], bar[1]);
    glEnd();
    float fill = bar[0] + p * ls.bar_width;
    glColor4fv(ls.bar_color);
    glBegin(GL_QUADS);
    glVertex2f(bar[0], bar[1]);
    glVertex2f(bar[0], bar[3]);
    glVertex2f(fill, bar[3]);
    glVertex2f(fill, bar[1]);
    glEnd();
    glEnable(GL_TEXTURE_2D);

    ortho_end();
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);

    // During the load phase each step shows a frame of its own. When the loading section also
    // plays in the timeline it is drawn into the demo frame like any section, and the frame's
    // own present shows it: swapping here would leave the frame to be finished in a back buffer
    // whose contents are undefined.
    if (f.demo.loading) frame_swap();
}

}  // namespace

extern const SectionType loading_type = {"loading",      section_noop, loading_init, section_noop,
                                         loading_render, section_noop, loading_check};
