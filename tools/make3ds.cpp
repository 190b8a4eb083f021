// Writes a demo model as a 3DS file: a cube or a torus with one material and texture
// coordinates, optionally naming a texture map (looked up beside the model by the player).
//
//   make3ds cube OUTPUT.3ds [MAP]
//   make3ds torus OUTPUT.3ds [MAP]
#include <cstdio>
#include <cstring>
#include <string>

#include "mesh_writer.h"
#include "tool_help.h"

int main(int argc, char** argv) {
    if (tool_help(argc, argv, "make3ds cube|torus OUTPUT.3ds [MAP]")) return 0;
    if (argc < 3 || argc > 4 || (std::strcmp(argv[1], "cube") != 0 && std::strcmp(argv[1], "torus") != 0)) {
        std::fprintf(stderr, "usage: %s cube|torus OUTPUT.3ds [MAP]\n", argv[0]);
        return 2;
    }
    MaterialDraft material;
    material.name = "skin";
    material.diffuse = {0.9f, 0.7f, 0.3f};
    if (argc == 4) material.map_name = argv[3];
    ObjectDraft object = std::strcmp(argv[1], "cube") == 0
                             ? mesh_draft_cube("Cube", 2, material.name)
                             : mesh_draft_torus("Torus", 1.5f, 0.5f, 32, 16, material.name);
    std::string bytes = mesh_write_3ds({material}, {object});

    FILE* out = std::fopen(argv[2], "wb");
    if (out == nullptr) {
        std::perror(argv[2]);
        return 1;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (std::fclose(out) != 0 || !written) {
        std::perror(argv[2]);
        return 1;
    }
    return 0;
}
