// Textured quads at one unit per texel, shared by the image and imageMatrix sections.
#pragma once

struct Frame;
struct Section;

struct Demo;

struct ImageQuad {
    float texcoords[4][2];
    float vertices[4][3];
    int texture;
};

// The quad of a w x h texture centred on the origin in the plane z = 0, first image row at +y.
void image_quad_build(ImageQuad& quad, int texture, float w, float h);
void image_quad_draw(const ImageQuad& quad);

// Gives a loaded texture its flags, uploads it and builds its quad (kept by the demo).
ImageQuad* image_quad_finish(Demo& demo, int texture, int flags);

void image_init(Section& s, Frame& f);
void image_render(Section& s, Frame& f);
void image_matrix_init(Section& s, Frame& f);
void image_matrix_render(Section& s, Frame& f);
