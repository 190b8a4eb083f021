// 3DS files: the chunk walker, materials and the normals computed from what it read.
#include <cstdint>

#include "fuzz_common.h"
#include "resources/mesh.h"

namespace {
int no_texture(const char*) { return -1; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::setup();
    Mesh mesh;
    try {
        if (mesh_parse(data, size, "", mesh, no_texture)) mesh_compute_normals(mesh);
    } catch (const FatalError&) {
    }
    return 0;
}
