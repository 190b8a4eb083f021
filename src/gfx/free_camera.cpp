// The free-flying debug camera and the debug axes.
#include "gfx/free_camera.h"

#include <GL/gl.h>
#include <SDL/SDL.h>

#include <algorithm>
#include <cstdio>

#include "gfx/key_state.h"

namespace {

bool key_held(int code) {
    return key_state[code] != 0;
}

}  // namespace

void free_camera_look(Camera* c, int mouse_x, int mouse_y) {
    float dx = static_cast<float>(FREE_CAMERA_MOUSE_X - mouse_x) / 16.0f;
    float dy = static_cast<float>(FREE_CAMERA_MOUSE_Y - mouse_y) / 16.0f;
    if (dx == 0.0f && dy == 0.0f) return;
    c->rotation.x = std::clamp(c->rotation.x + dy, -90.0f, 90.0f);
    c->rotation.y += dx;
}

float free_camera_speed_step(float* speed, bool increase, bool decrease, float dt) {
    if (increase) *speed += 10.0f * dt;
    if (decrease) *speed -= 10.0f * dt;
    if (*speed == 0.0f) return 0.0f;
    *speed = std::clamp(*speed, -6.0f, 6.0f);
    float d = *speed * dt;
    float friction = 5.0f * dt;
    if (*speed > friction) {
        *speed -= friction;
    } else if (*speed < -friction) {
        *speed += friction;
    } else {
        *speed = 0.0f;
    }
    return d;
}

void camera_move_forward(Camera* c, float d) {
    Vector3 step;
    vec3_scale(c->back, d, step);
    vec3_minus(c->position, step, c->position);
    vec3_minus(c->target, step, c->target);
}

void camera_move_sideways(Camera* c, float d) {
    Vector3 step;
    vec3_scale(c->right, d, step);
    vec3_add(c->position, step, c->position);
    vec3_add(c->target, step, c->target);
}

void free_camera_update(Camera* c, FreeFlight& flight, float dt, bool debug) {
    if (!debug) return;

    int mouse_x = 0;
    int mouse_y = 0;
    Uint8 buttons = SDL_GetMouseState(&mouse_x, &mouse_y);
    SDL_WarpMouse(FREE_CAMERA_MOUSE_X, FREE_CAMERA_MOUSE_Y);
    free_camera_look(c, mouse_x, mouse_y);

    // Space prints once per press (its state is cleared here); the left button once per frame.
    if (key_held(' ') || (buttons & SDL_BUTTON(1)) != 0) {
        std::fputs(camera_print_line(*c).c_str(), stdout);
        std::fflush(stdout);
        key_state[static_cast<int>(' ')] = 0;
    }

    camera_move_forward(c, free_camera_speed_step(&flight.forward_speed, key_held('g'), key_held('b'), dt));
    camera_move_sideways(c, free_camera_speed_step(&flight.side_speed, key_held('n'), key_held('v'), dt));

    float nudge = 5.0f * dt;
    if (key_held('u')) c->target.x -= nudge;
    if (key_held('j')) c->target.x += nudge;
    if (key_held('i')) c->target.y -= nudge;
    if (key_held('k')) c->target.y += nudge;
    if (key_held('o')) c->target.z -= nudge;
    if (key_held('l')) c->target.z += nudge;
}

void debug_axes(bool debug) {
    if (!debug) return;
    glDisable(GL_TEXTURE_2D);
    glPointSize(5);
    glColor3f(1, 1, 1);
    glBegin(GL_POINTS);
    glVertex3f(0, 0, 0);
    glEnd();
    glPointSize(1);
    glLineWidth(2);
    glBegin(GL_LINES);
    glColor3f(1, 0, 0);
    glVertex3f(0, 0, 0);
    glVertex3f(1, 0, 0);
    glColor3f(0, 1, 0);
    glVertex3f(0, 0, 0);
    glVertex3f(0, 1, 0);
    glColor3f(0, 0, 1);
    glVertex3f(0, 0, 0);
    glVertex3f(0, 0, 1);
    glEnd();
    glLineWidth(1);
    glEnable(GL_TEXTURE_2D);
}
