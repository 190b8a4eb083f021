// The object and objectMatrix section types: 3DS meshes drawn under the current camera.
#pragma once

struct Frame;
struct Section;

struct Mesh;

enum ObjectRenderMode {
    OBJECT_WIREFRAME = 1,
    OBJECT_COLOR = 2,
    OBJECT_FLAT = 3,
    OBJECT_SHADED = 4,
    OBJECT_TEXTURE = 5,
    OBJECT_ENVIRONMENT = 6,
    OBJECT_CELL = 7,
};

struct ObjectState {
    Mesh* mesh = nullptr;
    int render_mode = 0;
    int texture = -1;  // environment map or cel ramp
};

struct ObjectMatrixState {
    Mesh* mesh = nullptr;
    int texture = -1;
};

// The mode number of a keyword, compared exactly; 0 when it names no mode.
int object_render_mode_find(const char* name);

// params[5] + (params[6] - params[5]) x elapsed / duration.
float object_built_fraction(const Section& s);

// Line widths GL accepts: a width not above 0 draws as 1.
float object_line_width(float width);

void object_init(Section& s, Frame& f);
void object_render(Section& s, Frame& f);
void object_matrix_init(Section& s, Frame& f);
void object_matrix_render(Section& s, Frame& f);
