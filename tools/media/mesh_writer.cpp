// The 3DS writer behind the media tools and the mesh tests.
#include "mesh_writer.h"

#include <cmath>
#include <cstring>

void ChunkWriter::begin(uint16_t id) {
    open_chunks.push_back(bytes.size());
    header(id, 0);
}

void ChunkWriter::end() {
    size_t start = open_chunks.back();
    open_chunks.pop_back();
    uint32_t length = static_cast<uint32_t>(bytes.size() - start);
    for (int i = 0; i < 4; ++i) bytes[start + 2 + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
}

void ChunkWriter::header(uint16_t id, uint32_t length) {
    u16(id);
    u32(length);
}

void ChunkWriter::u8(uint8_t v) {
    bytes.push_back(static_cast<char>(v));
}

void ChunkWriter::u16(uint16_t v) {
    u8(v & 0xFF);
    u8(v >> 8);
}

void ChunkWriter::u32(uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
}

void ChunkWriter::f32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    u32(bits);
}

void ChunkWriter::str(const std::string& s) {
    bytes.append(s);
    u8(0);
}

namespace {

uint8_t to_byte(float v) {
    float c = v < 0 ? 0 : (v > 1 ? 1 : v);
    return static_cast<uint8_t>(std::lround(c * 255));
}

void write_color(ChunkWriter& w, uint16_t id, const std::array<float, 3>& rgb) {
    w.begin(id);
    for (uint16_t kind : {uint16_t{0x0011}, uint16_t{0x0012}}) {
        w.begin(kind);
        for (float v : rgb) w.u8(to_byte(v));
        w.end();
    }
    w.end();
}

void write_material(ChunkWriter& w, const MaterialDraft& m) {
    w.begin(0xAFFF);
    w.begin(0xA000);
    w.str(m.name);
    w.end();
    write_color(w, 0xA010, m.ambient);
    write_color(w, 0xA020, m.diffuse);
    write_color(w, 0xA030, m.specular);
    w.begin(0xA040);
    w.begin(0x0030);
    w.u16(m.shininess_percent);
    w.end();
    w.end();
    if (!m.map_name.empty()) {
        w.begin(0xA200);
        w.begin(0x0030);  // map strength, which the reader skips
        w.u16(100);
        w.end();
        w.begin(0xA300);
        w.str(m.map_name);
        w.end();
        w.end();
    }
    w.end();
}

void write_object(ChunkWriter& w, const ObjectDraft& o) {
    w.begin(0x4000);
    w.str(o.name);
    w.begin(0x4100);
    w.begin(0x4110);
    w.u16(static_cast<uint16_t>(o.vertices.size()));
    for (const auto& v : o.vertices) {
        for (float c : v) w.f32(c);
    }
    w.end();
    if (!o.texcoords.empty()) {
        w.begin(0x4140);
        w.u16(static_cast<uint16_t>(o.texcoords.size()));
        for (const auto& t : o.texcoords) {
            w.f32(t[0]);
            w.f32(t[1]);
        }
        w.end();
    }
    w.begin(0x4120);
    w.u16(static_cast<uint16_t>(o.faces.size()));
    for (const auto& f : o.faces) {
        for (uint16_t c : f) w.u16(c);
        w.u16(7);  // the editor's edge-visibility flags
    }
    for (const auto& [material, faces] : o.material_groups) {
        w.begin(0x4130);
        w.str(material);
        w.u16(static_cast<uint16_t>(faces.size()));
        for (uint16_t f : faces) w.u16(f);
        w.end();
    }
    if (o.smoothing_groups) {
        w.begin(0x4150);
        for (size_t i = 0; i < o.faces.size(); ++i) w.u32(1);
        w.end();
    }
    w.end();
    w.end();
    w.end();
}

std::vector<uint16_t> all_faces(size_t count) {
    std::vector<uint16_t> faces(count);
    for (size_t i = 0; i < count; ++i) faces[i] = static_cast<uint16_t>(i);
    return faces;
}

}  // namespace

std::string mesh_write_3ds(const std::vector<MaterialDraft>& materials,
                           const std::vector<ObjectDraft>& objects) {
    ChunkWriter w;
    w.begin(0x4D4D);
    w.begin(0x0002);  // file version, skipped by the reader
    w.u32(3);
    w.end();
    w.begin(0x3D3D);
    w.begin(0x3D3E);  // mesh version, skipped by the reader
    w.u32(3);
    w.end();
    for (const MaterialDraft& m : materials) write_material(w, m);
    for (const ObjectDraft& o : objects) write_object(w, o);
    w.end();
    w.end();
    return w.bytes;
}

ObjectDraft mesh_draft_cube(const std::string& name, float edge, const std::string& material) {
    ObjectDraft o;
    o.name = name;
    float h = edge / 2;
    // Each side: outward normal n and two axes s, t with s x t = n.
    const int sides[6][3][3] = {
        {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
        {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
        {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
    };
    const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (const auto& side : sides) {
        uint16_t base = static_cast<uint16_t>(o.vertices.size());
        for (const auto& c : corners) {
            std::array<float, 3> v{};
            for (int i = 0; i < 3; ++i) v[i] = h * (side[0][i] + c[0] * side[1][i] + c[1] * side[2][i]);
            o.vertices.push_back(v);
            o.texcoords.push_back({(c[0] + 1) / 2, (c[1] + 1) / 2});
        }
        o.faces.push_back({base, static_cast<uint16_t>(base + 1), static_cast<uint16_t>(base + 2)});
        o.faces.push_back({base, static_cast<uint16_t>(base + 2), static_cast<uint16_t>(base + 3)});
    }
    if (!material.empty()) o.material_groups.push_back({material, all_faces(o.faces.size())});
    return o;
}

ObjectDraft mesh_draft_torus(const std::string& name, float ring_radius, float tube_radius, int rings,
                             int sides, const std::string& material) {
    ObjectDraft o;
    o.name = name;
    const float pi = 3.14159265358979f;
    for (int i = 0; i <= rings; ++i) {
        float u = 2 * pi * static_cast<float>(i) / static_cast<float>(rings);
        for (int j = 0; j <= sides; ++j) {
            float v = 2 * pi * static_cast<float>(j) / static_cast<float>(sides);
            float r = ring_radius + tube_radius * std::cos(v);
            o.vertices.push_back({r * std::cos(u), r * std::sin(u), tube_radius * std::sin(v)});
            o.texcoords.push_back({static_cast<float>(i) / static_cast<float>(rings),
                                   static_cast<float>(j) / static_cast<float>(sides)});
        }
    }
    auto at = [&](int i, int j) { return static_cast<uint16_t>(i * (sides + 1) + j); };
    for (int i = 0; i < rings; ++i) {
        for (int j = 0; j < sides; ++j) {
            o.faces.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1)});
            o.faces.push_back({at(i, j), at(i + 1, j + 1), at(i, j + 1)});
        }
    }
    if (!material.empty()) o.material_groups.push_back({material, all_faces(o.faces.size())});
    return o;
}
