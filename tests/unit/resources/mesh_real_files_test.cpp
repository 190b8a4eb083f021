// Models saved by real 3D tools (Debian's assimp test models) read without error, and agree in
// their object, vertex and face counts with an independent reader (lib3ds).
#include <gtest/gtest.h>
#include <lib3ds/file.h>
#include <lib3ds/mesh.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "resources/mesh.h"
#include "test_support.h"

namespace {

const char* const MODEL_DIR = "/usr/share/assimp/models/3DS";

std::vector<std::string> model_files() {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(MODEL_DIR, ec)) {
        std::string ext = entry.path().extension().string();
        if (ext == ".3ds" || ext == ".3DS") files.push_back(entry.path().string());
    }
    return files;
}

int count_textures(const char*) {
    return -1;
}

bool parse_file(const std::string& path, Mesh& mesh) {
    std::string bytes = read_file(path);
    return mesh_parse(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), "", mesh,
                      count_textures);
}

}  // namespace

TEST(MeshRealFiles, AgreeWithAnIndependentReader) {
    std::vector<std::string> files = model_files();
    ASSERT_GE(files.size(), 5u) << "the assimp-testmodels package provides the 3DS models";
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        Mesh mesh;
        ASSERT_TRUE(parse_file(path, mesh));
        mesh_compute_normals(mesh);

        Lib3dsFile* reference = lib3ds_file_load(path.c_str());
        ASSERT_NE(reference, nullptr);
        std::map<std::string, const Lib3dsMesh*> by_name;
        int reference_count = 0;
        for (const Lib3dsMesh* m = reference->meshes; m != nullptr; m = m->next) {
            by_name[m->name] = m;
            ++reference_count;
        }
        // Every triangle mesh of the reference is one of our objects; our extra objects (lights,
        // cameras) carry no geometry.
        int with_geometry = 0;
        int unmatched_groups = 0;
        for (const MeshObject& o : mesh.objects) {
            auto it = by_name.find(o.name);
            if (it == by_name.end()) {
                EXPECT_EQ(o.vertex_count, 0) << o.name;
                EXPECT_EQ(o.face_count, 0) << o.name;
                continue;
            }
            ++with_geometry;
            const Lib3dsMesh* ref = it->second;
            EXPECT_EQ(o.vertex_count, static_cast<int>(ref->points)) << o.name;
            EXPECT_EQ(o.face_count, static_cast<int>(ref->faces)) << o.name;
            EXPECT_EQ(o.texcoord_count, static_cast<int>(ref->texels)) << o.name;
            for (int i = 0; i < o.vertex_count && i < static_cast<int>(ref->points); ++i) {
                const float* p = ref->pointL[i].pos;
                ASSERT_EQ(o.vertices[i].position[0], p[0]);
                ASSERT_EQ(o.vertices[i].position[1], p[2]);
                ASSERT_EQ(o.vertices[i].position[2], -p[1]);
                for (float n : o.vertices[i].normal) ASSERT_TRUE(std::isfinite(n));
            }
            for (int i = 0; i < o.face_count && i < static_cast<int>(ref->faces); ++i) {
                for (int k = 0; k < 3; ++k) ASSERT_EQ(o.faces[i].corners[k], ref->faceL[i].points[k]);
                // A material we found is the one the reference names.
                const Material* ours = o.faces[i].material;
                if (ours != nullptr) {
                    EXPECT_STREQ(ours->name, ref->faceL[i].material);
                } else if (ref->faceL[i].material[0] != '\0') {
                    ++unmatched_groups;
                }
            }
        }
        EXPECT_EQ(with_geometry, reference_count);
        // Every model here names only materials it defines first.
        EXPECT_EQ(unmatched_groups, 0);
        lib3ds_file_free(reference);
    }
}

TEST(MeshRealFiles, AnEmptyFileIsRefused) {
    Mesh mesh;
    std::string empty = "/usr/share/assimp/models/invalid/empty.3ds";
    ASSERT_TRUE(std::filesystem::exists(empty));
    EXPECT_FALSE(parse_file(empty, mesh));
}
