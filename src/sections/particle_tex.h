// The particleTex section: every bright pixel of a shape image becomes a sprite that starts
// scattered and gathers into the picture along a cosine ease by the section's end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/random.h"

struct Frame;
struct Section;

struct TexParticle {
    float position[3];  // recomputed every frame
    float scatter[3];   // random offset, fixed at load time
    uint16_t column;
    uint16_t row;
    uint8_t colour[4];  // red, green, blue, alpha; the alpha is rewritten every frame
};
static_assert(sizeof(TexParticle) == 32);

struct ParticleImage {
    std::vector<TexParticle> particles;
    int shape_texture = -1;
    int sprite_texture = -1;
    int count = 0;
    float sprite_size = 0;
    float half_width = 0;
    float half_height = 0;
    float step_x = 0;
    float step_y = 0;
    uint32_t range = 1;  // scatter offsets lie below this, either side
};

// How the shape image's bytes are laid out: rows `pitch` bytes apart, `bytes_per_pixel` bytes
// per pixel, and the byte offsets of red, green and blue within a pixel (all three equal for a
// grey image). Other bytes of a pixel, such as alpha, are not read.
struct ShapePixels {
    const uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int pitch = 0;
    int bytes_per_pixel = 0;
    int red = 0;
    int green = 1;
    int blue = 2;
};

struct Texture;

// The layout of a loaded texture's pixels, still waiting for upload.
ShapePixels particle_tex_shape_pixels(const Texture& texture);

// Why a pixel layout cannot be read as a shape ("" when it can).
std::string shape_pixels_problem(const ShapePixels& shape);

// Whether a pixel becomes a particle: its integer mean is above 50.
inline bool shape_pixel_bright(unsigned r, unsigned g, unsigned b) {
    return (r + g + b) / 3 > 50;
}

// One particle per bright pixel, in buffer order, each with three scatter components drawn as
// a random sign then a random magnitude below `range` (at least 1), and the given alpha byte.
std::vector<TexParticle> particle_tex_build(Random& random, const ShapePixels& shape, uint32_t range,
                                            uint8_t alpha);

// The cosine ease: 1 at elapsed 0, 0 at elapsed = end - start.
float particle_tex_ease(float elapsed, float start, float end);

// An alpha in 0..1 as a byte, held at 0 and 255 outside that range.
uint8_t particle_tex_alpha_byte(float alpha);

// Places every particle between its scattered position (ease 1) and its picture place (ease 0)
// and gives it the alpha byte.
void particle_tex_place(ParticleImage& image, float ease, uint8_t alpha);

void particle_tex_init(Section& s, Frame& f);
void particle_tex_render(Section& s, Frame& f);
