// The "particleTex" section type.
#include "sections/particle_tex.h"

#include <cmath>

#include "core/random.h"
#include "script/section.h"

std::string shape_pixels_problem(const ShapePixels& shape) {
    if (shape.pixels == nullptr) return "no pixels";
    if (shape.width <= 0 || shape.height <= 0) return "empty image";
    // Rows and columns are kept in 16 bits.
    if (shape.width > 65536 || shape.height > 65536) return "image too large";
    if (shape.bytes_per_pixel < 1 || shape.bytes_per_pixel > 4) return "unsupported pixel size";
    for (int offset : {shape.red, shape.green, shape.blue}) {
        if (offset < 0 || offset >= shape.bytes_per_pixel) return "unsupported pixel layout";
    }
    if (shape.pitch < shape.width * shape.bytes_per_pixel) return "rows shorter than the image width";
    return "";
}

std::vector<TexParticle> particle_tex_build(const ShapePixels& shape, uint32_t range, uint8_t alpha) {
    std::vector<TexParticle> particles;
    if (!shape_pixels_problem(shape).empty()) return particles;
    if (range < 1) range = 1;
    auto pixel = [&](int row, int column) {
        return shape.pixels + static_cast<size_t>(row) * static_cast<size_t>(shape.pitch) +
               static_cast<size_t>(column) * static_cast<size_t>(shape.bytes_per_pixel);
    };
    auto bright = [&](const uint8_t* p) {
        return shape_pixel_bright(p[shape.red], p[shape.green], p[shape.blue]);
    };
    size_t count = 0;
    for (int j = 0; j < shape.height; ++j) {
        for (int l = 0; l < shape.width; ++l) count += bright(pixel(j, l)) ? 1 : 0;
    }
    particles.reserve(count);
    for (int j = 0; j < shape.height; ++j) {
        for (int l = 0; l < shape.width; ++l) {
            const uint8_t* p = pixel(j, l);
            if (!bright(p)) continue;
            TexParticle t{};
            for (int m = 0; m < 3; ++m) {
                const float sign = (random_next() & 1u) ? -1.0f : 1.0f;
                const uint32_t magnitude = random_next() % range;
                t.scatter[m] = sign * static_cast<float>(magnitude);
                t.position[m] = t.scatter[m];
            }
            t.column = static_cast<uint16_t>(l);
            t.row = static_cast<uint16_t>(j);
            t.colour[0] = p[shape.red];
            t.colour[1] = p[shape.green];
            t.colour[2] = p[shape.blue];
            t.colour[3] = alpha;
            particles.push_back(t);
        }
    }
    return particles;
}

float particle_tex_ease(float elapsed, float start, float end) {
    const double f = static_cast<double>(elapsed) / static_cast<double>(end - start);
    return static_cast<float>((std::cos(M_PI * f) + 1.0) * 0.5);
}

uint8_t particle_tex_alpha_byte(float alpha) {
    const float v = alpha * 255.0f;
    if (!(v > 0)) return 0;
    if (v >= 255.0f) return 255;
    return static_cast<uint8_t>(v);
}

void particle_tex_place(ParticleImage& image, float ease, uint8_t alpha) {
    for (TexParticle& p : image.particles) {
        p.position[0] = p.row * image.step_x + ease * p.scatter[0] - image.half_height;
        p.position[1] = p.column * image.step_y + ease * p.scatter[1] - image.half_width;
        p.position[2] = ease * p.scatter[2];
        p.colour[3] = alpha;
    }
}

// Callbacks come with the type's implementation; until then every slot is the shared no-op.
extern const SectionType particle_tex_type = {"particleTex", section_noop, section_noop,
                                              section_noop,  section_noop, section_noop};
