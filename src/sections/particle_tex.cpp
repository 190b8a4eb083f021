// The "particleTex" section type.
#include "sections/particle_tex.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <memory>

#include "base/error.h"
#include "base/random.h"
#include "resources/texture.h"
#include "script/section.h"
#include "sections/demo.h"
#include "sections/particles.h"
#include "sections/section_files.h"

ShapePixels particle_tex_shape_pixels(const Texture& texture) {
    ShapePixels shape;
    shape.pixels = texture.pixels;
    shape.width = texture.width;
    shape.height = texture.height;
    shape.bytes_per_pixel = texture.components;
    // Rows start on 4-byte boundaries, whether decoded, resampled or blank.
    shape.pitch = static_cast<int>(texture_row_bytes(texture.width, texture.components));
    switch (texture.format) {
        case GL_BGR_EXT:
        case GL_BGRA_EXT:
            shape.red = 2;
            shape.green = 1;
            shape.blue = 0;
            break;
        case GL_LUMINANCE:
            shape.red = shape.green = shape.blue = 0;
            break;
        default:
            shape.red = 0;
            shape.green = 1;
            shape.blue = 2;
            break;
    }
    return shape;
}

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

namespace {

// Three random offsets below `range`, each a sign and then a magnitude, as particles start.
void scatter_draw(Random& random, TexParticle& t, uint32_t range) {
    for (int m = 0; m < 3; ++m) {
        const float sign = (random_next(random) & 1u) ? -1.0f : 1.0f;
        const uint32_t magnitude = random_next(random) % range;
        t.scatter[m] = sign * static_cast<float>(magnitude);
        t.position[m] = t.scatter[m];
    }
}

}  // namespace

std::vector<TexParticle> particle_tex_build(Random& random, const ShapePixels& shape, uint32_t range,
                                            uint8_t alpha) {
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
            scatter_draw(random, t, range);
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

void particle_tex_check(const Section& section, const SectionTypes&, bool files) {
    if (section.string_count != 2) fatal_error("particleTex: two strings needed");
    // The range divides every random magnitude.
    if (!(section.params[2] >= 1.0f)) {
        ErrorPlace place = section_at_param(section, 2);
        fatal_error("particleTex: scatter range below 1");
    }
    if (files) {
        section_texture_check(section, 0);
        section_texture_check(section, 1);
    }
}

void particle_tex_init(Section& section, Frame& f) {
    particle_tex_check(section, f.demo.types, false);
    const uint32_t range = static_cast<uint32_t>(truncate_to_int(section.params[2]));

    ParticleImage& image = *demo_record_new<ParticleImage>(f.demo);
    section.data = &image;
    const char* shape_path = section.strings[0].c_str();
    image.shape_texture = section_texture_load(f.demo, section, 0);
    texture_set_flags(image.shape_texture, TEX_NO_MIPMAP);
    image.sprite_size = section.params[1];

    const Texture& shape_texture = *texture_with_pixels(image.shape_texture);
    const ShapePixels shape = particle_tex_shape_pixels(shape_texture);
    const std::string problem = shape_pixels_problem(shape);
    if (!problem.empty()) {
        ErrorPlace place = section_at_string(section, 0);
        fatal_error("particleTex: cannot read shape image '%s': %s", shape_path, problem.c_str());
    }
    image.range = range < 1 ? 1 : range;
    image.particles =
        particle_tex_build(f.demo.random, shape, range, particle_tex_alpha_byte(section.params[6]));
    image.count = static_cast<int>(image.particles.size());

    image.sprite_texture = section_texture_load(f.demo, section, 1);
    texture_set_flags(image.sprite_texture, TEX_MODULATE);
    texture_upload(image.sprite_texture);
    const float width = static_cast<float>(shape.width);
    const float height = static_cast<float>(shape.height);
    texture_upload(image.shape_texture);

    const float spacing = section.params[0];
    image.half_width = width * spacing * 0.5f;
    image.half_height = height * spacing * 0.5f;
    image.step_x = width * spacing / width;
    image.step_y = height * spacing / height;
}

void particle_tex_redraw(Section& s, Frame& f) {
    ParticleImage& image = *static_cast<ParticleImage*>(s.data);
    for (TexParticle& t : image.particles) scatter_draw(f.demo.random, t, image.range);
}

void particle_tex_render(Section& section, Frame&) {
    ParticleImage& image = *static_cast<ParticleImage*>(section.data);
    const float* params = section.params;
    const float ease = particle_tex_ease(section.elapsed, section.start, section.end);
    const float alpha = params[6] + (params[7] - params[6]) * section.elapsed / section.duration;
    particle_tex_place(image, ease, particle_tex_alpha_byte(alpha));

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslatef(params[3], params[4], params[5]);
    glRotatef(-90, 0, 0, 1);

    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    Vector3 right, up, corners[4];
    particle_sprite_axes(m, image.sprite_size, right, up);
    static constexpr float tex[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    glDepthMask(GL_FALSE);
    texture_bind(image.sprite_texture);
    glBegin(GL_QUADS);
    for (const TexParticle& p : image.particles) {
        glColor4ubv(p.colour);
        particle_sprite_corners({p.position[0], p.position[1], p.position[2]}, right, up, corners);
        for (int k = 0; k < 4; ++k) {
            glTexCoord2f(tex[k][0], tex[k][1]);
            glVertex3fv(&corners[k].x);
        }
    }
    glEnd();
    glDepthMask(GL_TRUE);

    glPopMatrix();
    glDisable(GL_BLEND);
}

extern const SectionType particle_tex_type = {"particleTex",      section_noop,        particle_tex_init,
                                              section_noop,       particle_tex_render, section_noop,
                                              particle_tex_check, particle_tex_redraw};
