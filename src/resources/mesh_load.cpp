// Loading a 3DS file from the demo's data: the file is read whole through the archive-aware
// layer, then parsed in memory.
#include <string>
#include <vector>

#include "base/error.h"
#include "resources/files.h"
#include "resources/mesh.h"
#include "resources/texture.h"

namespace {

// Longest joined path the loader accepts, as for every other file name the player builds.
constexpr size_t MAX_PATH_LENGTH = 259;

}  // namespace

std::unique_ptr<Mesh> mesh_read(const char* directory, const char* file, MeshTextureLoader load_texture) {
    std::string path = std::string(directory) + file;
    ZzipFile f(path.size() <= MAX_PATH_LENGTH ? file_open(path.c_str()) : nullptr);
    if (f == nullptr) fatal_error("3DS: file '%s' not found\n", file);

    std::vector<unsigned char> data;
    bool read = file_read_all(f.get(), data);
    f.reset();

    auto mesh = std::make_unique<Mesh>();
    if (!read || !mesh_parse(data.data(), data.size(), directory, *mesh, load_texture)) {
        fatal_error("3DS: error loading '%s'\n", file);
    }
    return mesh;
}

std::unique_ptr<Mesh> mesh_load(const char* directory, const char* file, int detail, TexturePool* pool) {
    std::unique_ptr<Mesh> mesh = mesh_read(
        directory, file, [detail, pool](const char* path) { return texture_load(path, detail, pool); });
    mesh_compute_normals(*mesh);
    return mesh;
}

void mesh_upload_textures(const Mesh& mesh) {
    for (const Material* m = mesh.materials; m != nullptr; m = m->next) {
        if (m->texture >= 0) texture_upload(m->texture);
    }
}
