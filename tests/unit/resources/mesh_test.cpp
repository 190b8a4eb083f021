// The 3DS reader. What an independent reader (lib3ds) also reads is compared with it; normals,
// the materials faces find and the refusal of broken files are checked on their own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <lib3ds/file.h>
#include <lib3ds/material.h>
#include <lib3ds/mesh.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "mesh_writer.h"
#include "resources/mesh.h"
#include "test_support.h"

namespace {

std::vector<std::string> loaded_paths;
int record_texture(const char* path) {
    loaded_paths.push_back(path);
    return static_cast<int>(loaded_paths.size()) + 6;
}

bool parse(const std::string& bytes, Mesh& mesh, MeshTextureLoader loader = nullptr) {
    // A private copy of exactly the bytes, so a read past the end is a read past an allocation.
    std::unique_ptr<unsigned char[]> copy(new unsigned char[bytes.size() + 1]);
    std::memcpy(copy.get(), bytes.data(), bytes.size());
    return mesh_parse(copy.get(), bytes.size(), "data/models/", mesh, loader);
}

// Little-endian numbers and chunks, to spell files out; names carry their NUL.
std::string le(uint64_t v, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}
std::string floats(std::initializer_list<float> values) {
    ChunkWriter w;
    for (float f : values) w.f32(f);
    return w.bytes;
}
std::string lying(uint16_t id, uint32_t length, const std::string& body) {
    return le(id, 2) + le(length, 4) + body;
}
std::string chunk(uint16_t id, const std::string& body) {
    return lying(id, static_cast<uint32_t>(body.size() + 6), body);
}
std::string editor(const std::string& body) {
    return chunk(0x4D4D, chunk(0x3D3D, body));
}
std::string object(const std::string& name, const std::string& body) {
    return chunk(0x4000, name + '\0' + body);
}
std::string material(const std::string& name, const std::string& parts) {
    return chunk(0xAFFF, chunk(0xA000, name + '\0') + parts);
}
// An object whose triangle chunk holds `body`.
std::string triangles(const std::string& body) {
    return editor(object("obj", chunk(0x4100, body)));
}
// Three vertices and one face with the given third corner.
std::string triangle(uint16_t corner) {
    return chunk(0x4110, le(3, 2) + floats({0, 1, 2, 3, 0, 1, 2, 3, 0})) +
           chunk(0x4120, le(1, 2) + le(0, 2) + le(1, 2) + le(corner, 2) + le(0, 2));
}
std::string group(uint16_t face) {
    return chunk(0x4130, std::string("m\0", 2) + le(1, 2) + le(face, 2));
}

void expect_agrees_with_lib3ds(const std::string& path) {
    SCOPED_TRACE(path);
    Mesh mesh;
    ASSERT_TRUE(parse(read_file(path), mesh));
    Lib3dsFile* reference = lib3ds_file_load(path.c_str());
    ASSERT_NE(reference, nullptr);

    std::map<std::string, const Lib3dsMaterial*> materials;
    for (const Lib3dsMaterial* m = reference->materials; m != nullptr; m = m->next) materials[m->name] = m;
    size_t material_count = 0;
    for (const Material* m = mesh.materials; m != nullptr; m = m->next, ++material_count) {
        ASSERT_EQ(materials.count(m->name), 1u) << m->name;
        const Lib3dsMaterial* ref = materials[m->name];
        const float *ours[] = {m->ambient, m->diffuse, m->specular},
                    *theirs[] = {ref->ambient, ref->diffuse, ref->specular};
        for (int i = 0; i < 9; ++i)
            EXPECT_NEAR(ours[i / 3][i % 3], theirs[i / 3][i % 3], 1.0 / 255) << m->name << i;
        EXPECT_NEAR(m->shininess, ref->shininess, 0.01) << m->name;
        EXPECT_STREQ(m->map_name, ref->texture1_map.name) << m->name;
    }
    EXPECT_EQ(material_count, materials.size());

    // Every triangle mesh of the reference is one of our objects; our extra objects (lights,
    // cameras) carry no geometry.
    std::map<std::string, const Lib3dsMesh*> meshes;
    for (const Lib3dsMesh* m = reference->meshes; m != nullptr; m = m->next) meshes[m->name] = m;
    size_t with_geometry = 0;
    for (const MeshObject& o : mesh.objects) {
        SCOPED_TRACE(o.name);
        if (meshes.count(o.name) == 0) {
            EXPECT_EQ(o.vertex_count + o.face_count, 0);
            continue;
        }
        ++with_geometry;
        const Lib3dsMesh* ref = meshes[o.name];
        ASSERT_EQ(o.vertex_count, static_cast<int>(ref->points));
        ASSERT_EQ(o.face_count, static_cast<int>(ref->faces));
        ASSERT_EQ(o.texcoord_count, static_cast<int>(ref->texels));
        for (int i = 0; i < o.vertex_count; ++i) {  // Z up in the file, Y up in GL's frame
            const float* p = ref->pointL[i].pos;
            ASSERT_THAT(o.vertices[i].position, ::testing::ElementsAre(p[0], p[2], -p[1]));
        }
        for (int i = 0; i < 2 * o.texcoord_count; ++i) ASSERT_EQ(o.texcoords[i], ref->texelL[i / 2][i % 2]);
        for (int i = 0; i < o.face_count; ++i) {
            for (int k = 0; k < 3; ++k) ASSERT_EQ(o.faces[i].corners[k], ref->faceL[i].points[k]);
            // Every model here names only materials it defines first.
            const Material* ours = o.faces[i].material;
            EXPECT_STREQ(ours != nullptr ? ours->name : "", ref->faceL[i].material);
        }
    }
    EXPECT_EQ(with_geometry, meshes.size());
    lib3ds_file_free(reference);
}

}  // namespace

TEST(MeshReference, ModelsSavedByRealToolsAgree) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/share/assimp/models/3DS")) {
        std::string ext = entry.path().extension().string();
        if (ext != ".3ds" && ext != ".3DS") continue;
        expect_agrees_with_lib3ds(entry.path().string());
        ++files;
    }
    EXPECT_GE(files, 5) << "the assimp-testmodels package provides the 3DS models";
}

TEST(MeshReference, ColourChunksOfEveryKindAgree) {
    // 24-bit, linear 24-bit (the later counts), float and linear float colours, an unknown chunk
    // before a colour, percentages.
    std::string file = editor(
        material("paint", chunk(0xA010, chunk(0x0011, std::string("\xFF\x80\x00", 3))) +
                              chunk(0xA020, chunk(0x0011, "\x01\x02\x03") +
                                                chunk(0x0012, std::string("\x00\x33\xFF", 3))) +
                              chunk(0xA030, chunk(0x0010, floats({0.5f, 0.25f, 0}))) +
                              chunk(0xA040, chunk(0x0030, le(25, 2)))) +
        material("other", chunk(0xA010, chunk(0x0099, le(0, 4)) + chunk(0x0013, floats({0.1f, 0.2f, 0.3f}))) +
                              chunk(0xA020, chunk(0x0011, "\x0A\x14\x1E")) +
                              chunk(0xA030, chunk(0x0013, floats({0.7f, 0.8f, 0.9f}))) +
                              chunk(0xA040, chunk(0x0030, le(60, 2)))));
    TempDir dir;
    write_file(dir.file("colours.3ds"), file);
    expect_agrees_with_lib3ds(dir.file("colours.3ds"));
    // lib3ds leaves float percentages unread: a fraction as it stands.
    Mesh mesh;
    ASSERT_TRUE(parse(editor(material("f", chunk(0xA040, chunk(0x0031, floats({0.75f}))))), mesh));
    EXPECT_EQ(mesh.materials->shininess, 0.75f);
}

TEST(MeshNormals, FaceOutwardsAndAreZeroForDegenerateFaces) {
    // Two faces meeting at a right angle along the edge 0-1 (a floor and a wall), a line, a face
    // with a coordinate that is not a number and a vertex used by nothing.
    ObjectDraft o{"o",
                  {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {2, 0, 0}, {std::nanf(""), 0, 0}, {5, 5, 5}},
                  {{0, 1, 2}, {0, 1, 3}, {0, 1, 4}, {5, 1, 3}}};
    Mesh mesh;
    ASSERT_TRUE(parse(mesh_write_3ds({}, {o}), mesh));
    mesh_compute_normals(mesh);
    const MeshObject& m = mesh.objects[0];
    auto length = [](const float* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); };
    // In GL's frame the floor faces +Y and the wall +Z; their shared corner takes the mean.
    EXPECT_FLOAT_EQ(m.faces[0].normal[1], 1);
    EXPECT_FLOAT_EQ(m.faces[1].normal[2], 1);
    EXPECT_EQ(length(m.faces[2].normal) + length(m.faces[3].normal), 0);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(m.vertices[1].normal[c], c == 0 ? 0 : 0.5f, 1e-6) << c;
    EXPECT_FLOAT_EQ(m.vertices[1].inverse_face_count, 0.5f);
    for (int i : {4, 5, 6})
        EXPECT_EQ(length(m.vertices[i].normal) + m.vertices[i].inverse_face_count, 0) << i;
}

TEST(MeshMaterials, FacesFindTheLastMaterialOfTheirNameReadBeforeThem) {
    MaterialDraft red{"red"}, blue{"blue"}, red_again{"red"};
    red_again.diffuse = {0.5f, 0, 0};
    blue.map_name = "wood.tga";
    ObjectDraft o{"quad", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}}, {}, {}};
    o.material_groups = {{"blue", {1}}, {"red", {0, 2}}, {"nobody", {2}}};
    loaded_paths.clear();
    Mesh mesh;
    ASSERT_TRUE(parse(mesh_write_3ds({red, blue, red_again}, {o}), mesh, record_texture));
    const MeshObject& m = mesh.objects[0];
    ASSERT_NE(m.faces[0].material, nullptr);
    EXPECT_NEAR(m.faces[0].material->diffuse[0], 0.5f, 0.01f);
    EXPECT_EQ(m.faces[1].material->texture, 7);  // maps load from the mesh's directory
    EXPECT_EQ(loaded_paths, std::vector<std::string>{"data/models/wood.tga"});
    EXPECT_EQ(m.faces[2].material, nullptr);  // its last group names no material

    // A material read after the object is not found; what the keyframes hold is no object.
    Mesh late;
    ASSERT_TRUE(parse(editor(object("early", chunk(0x4100, triangle(2) + group(0))) + material("m", "")) +
                          chunk(0xB000, object("ghost", "")),
                      late));
    ASSERT_EQ(late.object_count, 1);
    EXPECT_EQ(late.objects[0].faces[0].material, nullptr);
}

TEST(MeshBuilt, FractionsShowWholeFacesWithinTheObject) {
    const std::tuple<float, int, int> cases[] = {{0.5f, 10, 5},  {-0.5f, 10, 0},
                                                 {3.5f, 10, 10}, {std::nanf(""), 10, 0},
                                                 {0.55f, 3, 1},  {1e30f, 65535, 65535}};
    for (auto [f, count, faces] : cases) EXPECT_EQ(mesh_built_faces(f, count), faces) << f;
}

namespace {

std::string drafted(const std::string& object_name, const std::string& map,
                    const std::string& group_material) {
    MaterialDraft m{"m"};
    m.map_name = map;
    return mesh_write_3ds({m}, {mesh_draft_cube(object_name, 1, group_material)});
}

struct MeshFile {
    const char* name;
    std::string bytes;
    bool accepted;
};

const std::string n63(63, 'n'), n64(64, 'n');
const MeshFile mesh_files[] = {
    {"ShorterThanAHeader", "MM", false},
    {"NoMainChunk", chunk(0x3D3D, ""), false},
    {"MainChunkLongerThanTheFile", lying(0x4D4D, 1000, ""), false},
    // A length below the header's own size would walk backwards or stand still.
    {"ChunkLengthFive", chunk(0x4D4D, lying(0x1234, 5, le(0, 4))), false},
    {"SubChunkLongerThanItsParent",
     chunk(0x4D4D, chunk(0x3D3D, lying(0x5555, 100, "")) + std::string(100, '\0')), false},
    {"ColourShorterThanItsBytes", chunk(0x4D4D, material("m", chunk(0xA010, lying(0x0011, 7, "\1\2\3")))),
     false},
    {"NameRunningPastItsChunk", chunk(0x4D4D, lying(0x4000, 8, std::string("a long name", 12))), false},
    {"NameWithoutItsEnd", chunk(0x4D4D, chunk(0x4000, "unterminated")), false},
    {"VertexCountAbsurd", triangles(chunk(0x4110, le(65535, 2) + floats({1}))), false},
    {"FaceCountAbsurd", triangles(chunk(0x4120, le(40000, 2))), false},
    {"TexcoordCountAbsurd", triangles(chunk(0x4140, le(9999, 2))), false},
    {"FacesBeforeVertices", triangles(chunk(0x4120, le(1, 2) + le(0, 8))), false},
    {"CornerInRange", triangles(triangle(2) + group(0)), true},
    {"CornerOutOfRange", triangles(triangle(3)), false},
    {"GroupNamingAFaceTooMany", triangles(triangle(2) + group(1)), false},
    {"NamesOf63", drafted(n63, n63, "m"), true},
    {"ObjectNameOf64", drafted(n64, "", "m"), false},
    {"NestedTooDeep",
     [] {
         std::string out;  // chunks nested 100000 deep inside the main chunk
         for (int i = 100000; i >= 0; --i) out += lying(i == 100000 ? 0x4D4D : 0x3D3D, 6u * (i + 1), "");
         return out;
     }(),
     false},
};

}  // namespace

TEST(MeshFiles, AreRefusedUnlessSound) {
    for (const MeshFile& f : mesh_files) {
        Mesh mesh;
        EXPECT_EQ(parse(f.bytes, mesh), f.accepted) << f.name;
    }
}
