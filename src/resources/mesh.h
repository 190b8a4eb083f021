// 3DS meshes: the chunk reader that turns a 3DS file into objects (triangle lists with positions,
// averaged vertex normals, texture coordinates and a material per face) and the materials they use.
// Positions are turned from the editor's Z-up frame into GL's Y-up frame as they are read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct TexturePool;

inline constexpr int MESH_NAME_SIZE = 64;

struct Material {
    Material* prev = nullptr;
    Material* next = nullptr;
    char name[MESH_NAME_SIZE] = {};
    char map_name[MESH_NAME_SIZE] = {};
    int texture = -1;
    float ambient[3] = {0, 0, 0};
    float diffuse[3] = {1, 1, 1};
    float specular[3] = {0, 0, 0};
    float shininess = 1.0f;
};

struct MeshVertex {
    float position[3] = {};
    float normal[3] = {};
    float inverse_face_count = 0;
};

struct MeshFace {
    uint16_t corners[3] = {};
    uint16_t flags = 0;
    float normal[3] = {};
    Material* material = nullptr;
};

struct MeshObject {
    char name[MESH_NAME_SIZE] = {};
    int face_count = 0;
    int vertex_count = 0;
    int texcoord_count = 0;
    std::vector<MeshFace> faces;
    std::vector<MeshVertex> vertices;
    std::vector<float> texcoords;  // u, v per entry; entry i belongs to vertex i; empty when absent
};

struct Mesh {
    Material* materials = nullptr;  // the material read last comes first
    int object_count = 0;
    std::vector<MeshObject> objects;
    std::vector<std::unique_ptr<Material>> material_storage;  // owns every node of `materials`
};

// Loads a texture for a material from its joined path and returns its handle.
using MeshTextureLoader = std::function<int(const char* path)>;

// Reads a whole 3DS file image into `mesh` (which must be empty), loading material textures
// through `load_texture` with `directory` and the map name joined. Returns false for anything
// that is not a sound 3DS file: a wrong first chunk, data cut short, chunk lengths that do not
// hold their contents, indices out of range, names too long for their fields, nesting too deep.
// Normals are not computed here.
bool mesh_parse(const unsigned char* data, size_t size, const char* directory, Mesh& mesh,
                MeshTextureLoader load_texture);

// Face normals and averaged vertex normals. A face of zero area (or with positions that are not
// finite numbers) gets the zero normal and is left out of its vertices' averages; a vertex that no
// face contributes to keeps the zero normal and an inverse_face_count of 0.
void mesh_compute_normals(Mesh& mesh);

// Opens directory + file through the archive-aware layer, parses it, computes the normals.
// Ends the program on any failure. Material pictures load at `detail` (as texture_load), taken
// back from `pool` when it holds them.
std::unique_ptr<Mesh> mesh_load(const char* directory, const char* file, int detail,
                                TexturePool* pool = nullptr);
// The reading and parsing of mesh_load, with its refusals, but no normals and no keeping.
std::unique_ptr<Mesh> mesh_read(const char* directory, const char* file, MeshTextureLoader load_texture);

// How many of an object's faces a built fraction f shows: trunc(f x face_count), kept within
// 0 .. face_count (so fractions above 1 show every face once).
int mesh_built_faces(float f, int face_count);

// Sends every material texture that is loaded but not yet uploaded to GL, with flags 0
// (mipmapped, repeating, GL_REPLACE).
void mesh_upload_textures(const Mesh& mesh);
