// Cameras, the projection and the modelview matrix they load.
#include "gfx/camera.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdio>

Camera* camera_set_position(Camera* c, float x, float y, float z) {
    c->position = {x, y, z};
    return c;
}

Camera* camera_set_target(Camera* c, float x, float y, float z) {
    c->target = {x, y, z};
    return c;
}

Camera* camera_set_rotation(Camera* c, float x, float y, float z) {
    c->rotation = {x, y, z};
    return c;
}

Camera* camera_set_fov(Camera* c, float fov, float aspect) {
    c->fov = fov;
    c->aspect = aspect;
    return c;
}

Camera* camera_set_clip(Camera* c, float near, float far) {
    c->near = near;
    c->far = far;
    return c;
}

void perspective_set(const Camera* c) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(c->fov, c->aspect, c->near, c->far);
}

void camera_apply(Camera* c) {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(-c->rotation.x, 1, 0, 0);
    glRotatef(-c->rotation.z, 0, 0, 1);
    glRotatef(-c->rotation.y, 0, 1, 0);
    gluLookAt(c->position.x, c->position.y, c->position.z, c->target.x, c->target.y, c->target.z, 0, 1, 0);
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    c->right = {m[0], m[4], m[8]};
    c->up = {m[1], m[5], m[9]};
    c->back = {m[2], m[6], m[10]};
}

std::string camera_print_line(const Camera& c) {
    char line[512];
    std::snprintf(line, sizeof line, "%f %f %f %f %f %f %f %f %f %f %f %f\n", c.position.x, c.position.y,
                  c.position.z, c.rotation.x, c.rotation.y, c.rotation.z, c.target.x, c.target.y, c.target.z,
                  c.fov, c.near, c.far);
    return line;
}
