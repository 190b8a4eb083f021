// The macroBox section: a textured sky box centred on the current camera's eye, stacked in
// turned copies that spin slowly and fade over the section.
#pragma once

#include "gfx/camera.h"

struct Frame;
struct Section;

struct Demo;

struct SkyBoxFace {
    int corners[4];
    float s[4];
    float t[4];
    int texture;
};

struct SkyBox {
    Vector3 corners[8];
    SkyBoxFace faces[6];
};

struct MacroBox {
    SkyBox* box = nullptr;
    float alpha_from = 0;
    float alpha_to = 0;
    int layers = 0;
};

// Most stacked copies a section may ask for.
inline constexpr int MACRO_BOX_MAX_LAYERS = 1024;

// The box of half-size 10 with every face covered whole by `texture`.
void sky_box_fill(SkyBox& box, int texture);

// Degrees by which copy i is turned at the section's time `elapsed`: 26 per copy plus one per
// second.
float macro_box_layer_angle(int i, float elapsed);

// A sky box of the picture at `path`, kept by the demo.
SkyBox* sky_box_new(Demo& demo, const char* path);
void sky_box_upload(const SkyBox& box);
void sky_box_draw(const SkyBox& box, const Camera& camera);

void macro_box_init(Section& s, Frame& f);
void macro_box_render(Section& s, Frame& f);
