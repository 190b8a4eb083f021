// Writing 3DS files: a byte-level chunk writer and a small model description written the way the
// editor writes it (materials first, material and smoothing groups nested in the face list). The
// media tools make demo models with it; tests make well-formed and deliberately broken files.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Chunks are opened and closed like brackets; closing fills in the length.
struct ChunkWriter {
    std::string bytes;
    std::vector<size_t> open_chunks;

    void begin(uint16_t id);
    void end();
    // A header with a length given outright (for files that lie about themselves).
    void header(uint16_t id, uint32_t length);
    void u8(uint8_t v);
    void u16(uint16_t v);
    void u32(uint32_t v);
    void f32(float v);
    void str(const std::string& s);  // bytes and the NUL
};

struct MaterialDraft {
    std::string name;
    std::array<float, 3> ambient{0.1f, 0.1f, 0.1f};
    std::array<float, 3> diffuse{0.8f, 0.8f, 0.8f};
    std::array<float, 3> specular{1, 1, 1};
    uint16_t shininess_percent = 40;
    std::string map_name;  // empty: no texture map
};

struct ObjectDraft {
    std::string name;
    std::vector<std::array<float, 3>> vertices;  // in the file's frame (Z up)
    std::vector<std::array<uint16_t, 3>> faces;  // counter-clockwise seen from outside
    std::vector<std::array<float, 2>> texcoords;
    std::vector<std::pair<std::string, std::vector<uint16_t>>> material_groups;
    bool smoothing_groups = true;
};

// Colours are written twice, as 24-bit and as linear 24-bit, as the editor does.
std::string mesh_write_3ds(const std::vector<MaterialDraft>& materials,
                           const std::vector<ObjectDraft>& objects);

// An axis-aligned cube of the given edge centred on the origin: 24 vertices (four per side, each
// side mapped over the whole texture), 12 faces, all in one material group.
ObjectDraft mesh_draft_cube(const std::string& name, float edge, const std::string& material);

// A torus around the file's Z axis (GL's Y axis): ring radius and tube radius, `rings` steps
// around the axis and `sides` around the tube, texture wrapped once each way.
ObjectDraft mesh_draft_torus(const std::string& name, float ring_radius, float tube_radius, int rings,
                             int sides, const std::string& material);
