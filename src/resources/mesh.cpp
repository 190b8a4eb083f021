// The 3DS chunk walker and the normal computation. Everything here works on bytes already in
// memory, so a file that lies about itself can at worst make a read fail, never run past the data.
//
// The walker keeps, per chunk, the count of bytes consumed from it (6 for the header, then every
// primitive read). A container reads sub-chunk after sub-chunk while its count is below its length;
// a chunk not handled at its level is skipped to its end. A handled chunk that holds data consumes
// only the data it reads: whatever the file nests after that data (the material and smoothing
// groups inside a face list) is then read as the next sibling.
#include "resources/mesh.h"

#include <cmath>
#include <cstring>
#include <string>

namespace {

// Deeper nesting than any editor writes; the limit keeps a hostile file off the stack.
constexpr int MAX_DEPTH = 32;

enum ChunkId : uint16_t {
    CHUNK_MAIN = 0x4D4D,
    CHUNK_EDITOR = 0x3D3D,
    CHUNK_OBJECT = 0x4000,
    CHUNK_TRIANGLES = 0x4100,
    CHUNK_VERTICES = 0x4110,
    CHUNK_FACES = 0x4120,
    CHUNK_FACE_MATERIAL = 0x4130,
    CHUNK_TEXCOORDS = 0x4140,
    CHUNK_MATERIAL = 0xAFFF,
    CHUNK_MAT_NAME = 0xA000,
    CHUNK_MAT_AMBIENT = 0xA010,
    CHUNK_MAT_DIFFUSE = 0xA020,
    CHUNK_MAT_SPECULAR = 0xA030,
    CHUNK_MAT_SHININESS = 0xA040,
    CHUNK_MAT_TEXMAP = 0xA200,
    CHUNK_MAT_MAPNAME = 0xA300,
    CHUNK_KEYFRAMES = 0xB000,
    CHUNK_COLOR_F = 0x0010,
    CHUNK_COLOR_24 = 0x0011,
    CHUNK_LIN_COLOR_24 = 0x0012,
    CHUNK_LIN_COLOR_F = 0x0013,
    CHUNK_PERCENT_I = 0x0030,
    CHUNK_PERCENT_F = 0x0031,
};

struct Chunk {
    uint16_t id = 0;
    uint64_t length = 0;
    uint64_t consumed = 0;
    size_t start = 0;  // offset of the header
    size_t end() const { return start + length; }
};

struct Reader {
    const unsigned char* data;
    size_t size;
    size_t pos = 0;
    bool failed = false;
    const char* directory;
    const MeshTextureLoader& load_texture;
    Mesh& mesh;

    bool take(size_t n, Chunk& c) {
        if (failed || n > size - pos) {
            failed = true;
            return false;
        }
        c.consumed += n;
        return true;
    }
    uint8_t byte(Chunk& c) {
        if (!take(1, c)) return 0;
        return data[pos++];
    }
    uint16_t u16(Chunk& c) {
        if (!take(2, c)) return 0;
        uint16_t v = static_cast<uint16_t>(data[pos] | (data[pos + 1] << 8));
        pos += 2;
        return v;
    }
    uint32_t u32(Chunk& c) {
        if (!take(4, c)) return 0;
        uint32_t v = static_cast<uint32_t>(data[pos]) | static_cast<uint32_t>(data[pos + 1]) << 8 |
                     static_cast<uint32_t>(data[pos + 2]) << 16 | static_cast<uint32_t>(data[pos + 3]) << 24;
        pos += 4;
        return v;
    }
    float f32(Chunk& c) {
        uint32_t bits = u32(c);
        float v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    // A NUL-terminated string into a fixed field; one that does not fit, or has no NUL before
    // the end of the data, fails the read.
    void string(Chunk& c, char (&out)[MESH_NAME_SIZE]) {
        if (failed) return;
        const void* nul = std::memchr(data + pos, 0, size - pos);
        if (nul == nullptr) {
            failed = true;
            return;
        }
        size_t len = static_cast<const unsigned char*>(nul) - (data + pos);
        if (len >= MESH_NAME_SIZE) {
            failed = true;
            return;
        }
        std::memcpy(out, data + pos, len + 1);
        pos += len + 1;
        c.consumed += len + 1;
    }

    // A header; lengths below the header's own 6 bytes cannot be walked and fail.
    bool header(Chunk& c) {
        c.start = pos;
        c.consumed = 0;
        c.id = u16(c);
        c.length = u32(c);
        if (!failed && c.length < 6) failed = true;
        return !failed;
    }
    void skip(Chunk& c) {
        uint64_t rest = c.length - c.consumed;
        if (failed || rest > size - pos) {
            failed = true;
            return;
        }
        pos += rest;
        c.consumed = c.length;
    }
    // A handled data chunk must hold what its handler read.
    void check_within(const Chunk& c) {
        if (!failed && c.consumed > c.length) failed = true;
    }
};

enum class Level { Main, Object, Material, Color, Percent };

struct ColorResult {
    float rgb[3] = {0, 0, 0};
};

void read_container(Reader& r, Chunk& parent, Level level, int depth, int object, ColorResult* color,
                    float* percent, Material* material);

void read_vertices(Reader& r, Chunk& c, MeshObject& o) {
    uint16_t count = r.u16(c);
    if (r.failed || uint64_t{count} * 12 > r.size - r.pos) {
        r.failed = true;
        return;
    }
    o.vertices.assign(count, MeshVertex{});
    for (MeshVertex& v : o.vertices) {
        float x = r.f32(c), y = r.f32(c), z = r.f32(c);
        v.position[0] = x;
        v.position[1] = z;
        v.position[2] = -y;
    }
    o.vertex_count = count;
}

void read_faces(Reader& r, Chunk& c, MeshObject& o) {
    uint16_t count = r.u16(c);
    if (r.failed || uint64_t{count} * 8 > r.size - r.pos) {
        r.failed = true;
        return;
    }
    o.faces.assign(count, MeshFace{});
    for (MeshFace& f : o.faces) {
        for (uint16_t& corner : f.corners) corner = r.u16(c);
        f.flags = r.u16(c);
    }
    o.face_count = count;
}

void read_face_material(Reader& r, Chunk& c, MeshObject& o) {
    char name[MESH_NAME_SIZE] = {};
    r.string(c, name);
    uint16_t count = r.u16(c);
    Material* found = nullptr;
    for (Material* m = r.mesh.materials; m != nullptr; m = m->next) {
        if (std::strcmp(m->name, name) == 0) {
            found = m;
            break;
        }
    }
    for (int i = 0; i < count && !r.failed; ++i) {
        uint16_t face = r.u16(c);
        if (r.failed) return;
        if (face >= o.faces.size()) {
            r.failed = true;
            return;
        }
        o.faces[face].material = found;
    }
}

void read_texcoords(Reader& r, Chunk& c, MeshObject& o) {
    uint16_t count = r.u16(c);
    if (r.failed || uint64_t{count} * 8 > r.size - r.pos) {
        r.failed = true;
        return;
    }
    o.texcoords.assign(size_t{count} * 2, 0.0f);
    for (float& v : o.texcoords) v = r.f32(c);
    o.texcoord_count = count;
}

void read_map_name(Reader& r, Chunk& c, Material& m) {
    r.string(c, m.map_name);
    if (r.failed) return;
    std::string path = std::string(r.directory) + m.map_name;
    m.texture = r.load_texture != nullptr ? r.load_texture(path.c_str()) : -1;
}

void read_object(Reader& r, Chunk& c, int depth) {
    r.mesh.objects.emplace_back();
    int index = static_cast<int>(r.mesh.objects.size()) - 1;
    r.mesh.object_count = index + 1;
    r.string(c, r.mesh.objects[index].name);
    r.check_within(c);
    read_container(r, c, Level::Object, depth + 1, index, nullptr, nullptr, nullptr);
}

void read_material(Reader& r, Chunk& c, int depth) {
    auto owned = std::make_unique<Material>();
    Material* m = owned.get();
    r.mesh.material_storage.push_back(std::move(owned));
    read_container(r, c, Level::Material, depth + 1, -1, nullptr, nullptr, m);
    m->next = r.mesh.materials;
    if (r.mesh.materials != nullptr) r.mesh.materials->prev = m;
    r.mesh.materials = m;
}

void read_color(Reader& r, Chunk& c, float (&out)[3], int depth) {
    ColorResult color;
    read_container(r, c, Level::Color, depth + 1, -1, &color, nullptr, nullptr);
    std::memcpy(out, color.rgb, sizeof out);
}

float read_percent(Reader& r, Chunk& c, int depth) {
    float percent = 0;
    read_container(r, c, Level::Percent, depth + 1, -1, nullptr, &percent, nullptr);
    return percent;
}

// Each read_*_chunk below reads one chunk of its level whose header has been read, and returns
// false for a chunk that the level does not know (its caller skips it).

bool read_main_chunk(Reader& r, Chunk& c, int depth) {
    switch (c.id) {
        case CHUNK_EDITOR:
            read_container(r, c, Level::Main, depth + 1, -1, nullptr, nullptr, nullptr);
            return true;
        case CHUNK_OBJECT:
            read_object(r, c, depth);
            return true;
        case CHUNK_MATERIAL:
            read_material(r, c, depth);
            return true;
        default:  // keyframe data included: animation is not played
            return false;
    }
}

bool read_object_chunk(Reader& r, Chunk& c, int depth, int object) {
    MeshObject& o = r.mesh.objects[object];
    switch (c.id) {
        case CHUNK_TRIANGLES:
            read_container(r, c, Level::Object, depth + 1, object, nullptr, nullptr, nullptr);
            return true;
        case CHUNK_VERTICES:
            read_vertices(r, c, o);
            break;
        case CHUNK_FACES:
            read_faces(r, c, o);
            break;
        case CHUNK_FACE_MATERIAL:
            read_face_material(r, c, o);
            break;
        case CHUNK_TEXCOORDS:
            read_texcoords(r, c, o);
            break;
        default:
            return false;
    }
    r.check_within(c);
    return true;
}

bool read_material_chunk(Reader& r, Chunk& c, int depth, Material* material) {
    switch (c.id) {
        case CHUNK_MAT_NAME:
            r.string(c, material->name);
            break;
        case CHUNK_MAT_AMBIENT:
            read_color(r, c, material->ambient, depth);
            return true;
        case CHUNK_MAT_DIFFUSE:
            read_color(r, c, material->diffuse, depth);
            return true;
        case CHUNK_MAT_SPECULAR:
            read_color(r, c, material->specular, depth);
            return true;
        case CHUNK_MAT_SHININESS:
            material->shininess = read_percent(r, c, depth);
            return true;
        case CHUNK_MAT_TEXMAP:
            read_container(r, c, Level::Material, depth + 1, -1, nullptr, nullptr, material);
            return true;
        case CHUNK_MAT_MAPNAME:
            read_map_name(r, c, *material);
            break;
        default:
            return false;
    }
    r.check_within(c);
    return true;
}

bool read_color_chunk(Reader& r, Chunk& c, ColorResult* color) {
    switch (c.id) {
        case CHUNK_COLOR_F:
        case CHUNK_LIN_COLOR_F:
            for (float& v : color->rgb) v = r.f32(c);
            break;
        case CHUNK_COLOR_24:
        case CHUNK_LIN_COLOR_24:
            for (float& v : color->rgb) v = r.byte(c) / 255.0f;
            break;
        default:
            return false;
    }
    r.check_within(c);
    return true;
}

bool read_percent_chunk(Reader& r, Chunk& c, float* percent) {
    switch (c.id) {
        case CHUNK_PERCENT_I:
            *percent = r.u16(c) / 100.0f;
            break;
        case CHUNK_PERCENT_F:
            *percent = r.f32(c);
            break;
        default:
            return false;
    }
    r.check_within(c);
    return true;
}

// One chunk whose header has been read, by the reader of its level; false when that level does
// not know it.
bool read_known_chunk(Reader& r, Chunk& c, Level level, int depth, int object, ColorResult* color,
                      float* percent, Material* material) {
    switch (level) {
        case Level::Main:
            return read_main_chunk(r, c, depth);
        case Level::Object:
            return read_object_chunk(r, c, depth, object);
        case Level::Material:
            return read_material_chunk(r, c, depth, material);
        case Level::Color:
            return read_color_chunk(r, c, color);
        case Level::Percent:
            return read_percent_chunk(r, c, percent);
    }
    return false;
}

void read_container(Reader& r, Chunk& parent, Level level, int depth, int object, ColorResult* color,
                    float* percent, Material* material) {
    if (depth > MAX_DEPTH) {
        r.failed = true;
        return;
    }
    while (!r.failed && parent.consumed < parent.length) {
        Chunk c;
        if (!r.header(c)) return;
        // A chunk reaching past the end of the one holding it is lying about its length.
        if (c.end() > parent.end()) {
            r.failed = true;
            return;
        }
        if (!read_known_chunk(r, c, level, depth, object, color, percent, material)) r.skip(c);
        parent.consumed += c.consumed;
    }
}

// Corners must name vertices of their own object.
bool corners_in_range(const Mesh& mesh) {
    for (const MeshObject& o : mesh.objects) {
        for (const MeshFace& f : o.faces) {
            for (uint16_t corner : f.corners) {
                if (corner >= o.vertices.size()) return false;
            }
        }
    }
    return true;
}

// The unit normal of (R - Q) x (P - Q); false when the face has no direction.
bool face_normal(const float* p, const float* q, const float* r, float (&out)[3]) {
    float u[3] = {p[0] - q[0], p[1] - q[1], p[2] - q[2]};
    float w[3] = {r[0] - q[0], r[1] - q[1], r[2] - q[2]};
    float n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
    float len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (len > 0 && std::isfinite(len)) {
        for (int i = 0; i < 3; ++i) out[i] = -n[i] / len;
        return true;
    }
    // Squares of very large coordinates overflow in float; the direction may still exist.
    double nd[3] = {double(u[1]) * w[2] - double(u[2]) * w[1], double(u[2]) * w[0] - double(u[0]) * w[2],
                    double(u[0]) * w[1] - double(u[1]) * w[0]};
    double lend = std::sqrt(nd[0] * nd[0] + nd[1] * nd[1] + nd[2] * nd[2]);
    if (lend > 0 && std::isfinite(lend)) {
        for (int i = 0; i < 3; ++i) out[i] = static_cast<float>(-nd[i] / lend);
        return true;
    }
    out[0] = out[1] = out[2] = 0;
    return false;
}

}  // namespace

bool mesh_parse(const unsigned char* data, size_t size, const char* directory, Mesh& mesh,
                MeshTextureLoader load_texture) {
    Reader r{data, size, 0, false, directory != nullptr ? directory : "", load_texture, mesh};
    Chunk main;
    if (!r.header(main) || main.id != CHUNK_MAIN) return false;
    if (main.end() > size) return false;  // cut short
    read_container(r, main, Level::Main, 0, -1, nullptr, nullptr, nullptr);
    if (r.failed) return false;
    return corners_in_range(mesh);
}

void mesh_compute_normals(Mesh& mesh) {
    for (MeshObject& o : mesh.objects) {
        for (MeshVertex& v : o.vertices) {
            v.normal[0] = v.normal[1] = v.normal[2] = 0;
            v.inverse_face_count = 0;
        }
        for (MeshFace& f : o.faces) {
            if (f.corners[0] >= o.vertices.size() || f.corners[1] >= o.vertices.size() ||
                f.corners[2] >= o.vertices.size()) {
                f.normal[0] = f.normal[1] = f.normal[2] = 0;
                continue;
            }
            MeshVertex* corner[3];
            for (int k = 0; k < 3; ++k) corner[k] = &o.vertices[f.corners[k]];
            if (!face_normal(corner[0]->position, corner[1]->position, corner[2]->position, f.normal))
                continue;
            for (MeshVertex* v : corner) {
                for (int i = 0; i < 3; ++i) v->normal[i] += f.normal[i];
                v->inverse_face_count += 1;
            }
        }
        for (MeshVertex& v : o.vertices) {
            if (v.inverse_face_count == 0) continue;
            float r = 1 / v.inverse_face_count;
            v.inverse_face_count = r;
            for (float& n : v.normal) n *= r;
        }
    }
}

int mesh_built_faces(float f, int face_count) {
    float shown = f * static_cast<float>(face_count);
    if (!(shown >= 1)) return 0;  // also NaN
    if (shown >= static_cast<float>(face_count)) return face_count;
    return static_cast<int>(shown);
}
