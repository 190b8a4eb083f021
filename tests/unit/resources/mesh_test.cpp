#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "resources/mesh.h"
#include "resources/mesh_writer.h"

namespace {

bool parse(const std::string& bytes, Mesh& mesh, const char* dir = "", MeshTextureLoader loader = nullptr) {
    return mesh_parse(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), dir, mesh, loader);
}

// A main chunk around an editor chunk whose contents `fill` writes.
std::string in_editor(const std::function<void(ChunkWriter&)>& fill) {
    ChunkWriter w;
    w.begin(0x4D4D);
    w.begin(0x3D3D);
    fill(w);
    w.end();
    w.end();
    return w.bytes;
}

void vertex_list(ChunkWriter& w, const std::vector<std::array<float, 3>>& vertices) {
    w.begin(0x4110);
    w.u16(static_cast<uint16_t>(vertices.size()));
    for (const auto& v : vertices) {
        for (float c : v) w.f32(c);
    }
    w.end();
}

float length(const float* v) {
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

ObjectDraft triangle(const std::string& name) {
    ObjectDraft o;
    o.name = name;
    // (0,0,0), (1,0,0), (0,1,0) once turned to Y up.
    o.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}};
    o.faces = {{0, 1, 2}};
    return o;
}

std::vector<std::string> loaded_paths;
int record_texture(const char* path) {
    loaded_paths.push_back(path);
    return static_cast<int>(loaded_paths.size()) + 6;
}

}  // namespace

TEST(MeshReader, TurnsZUpIntoYUpAndKeepsFaceData) {
    ObjectDraft o;
    o.name = "thing";
    o.vertices = {{1, 2, 3}, {4, 5, 6}, {7, 8, 10}};
    o.faces = {{2, 0, 1}};
    o.texcoords = {{0.25f, 0.5f}, {1, 0}, {-2, 3}};
    Mesh mesh;
    ASSERT_TRUE(parse(mesh_write_3ds({}, {o}), mesh));
    ASSERT_EQ(mesh.object_count, 1);
    const MeshObject& m = mesh.objects[0];
    EXPECT_STREQ(m.name, "thing");
    ASSERT_EQ(m.vertex_count, 3);
    EXPECT_EQ(m.vertices[0].position[0], 1);
    EXPECT_EQ(m.vertices[0].position[1], 3);
    EXPECT_EQ(m.vertices[0].position[2], -2);
    EXPECT_EQ(m.vertices[2].position[2], -8);
    ASSERT_EQ(m.face_count, 1);
    EXPECT_EQ(m.faces[0].corners[0], 2);
    EXPECT_EQ(m.faces[0].corners[1], 0);
    EXPECT_EQ(m.faces[0].corners[2], 1);
    EXPECT_EQ(m.faces[0].flags, 7);
    EXPECT_EQ(m.faces[0].material, nullptr);
    ASSERT_EQ(m.texcoord_count, 3);
    EXPECT_EQ(m.texcoords[0], 0.25f);
    EXPECT_EQ(m.texcoords[1], 0.5f);
    EXPECT_EQ(m.texcoords[4], -2);
    EXPECT_EQ(m.texcoords[5], 3);
}

TEST(MeshReader, NormalsOfOneTriangleAndOfARightAngledPair) {
    Mesh mesh;
    ASSERT_TRUE(parse(mesh_write_3ds({}, {triangle("t")}), mesh));
    mesh_compute_normals(mesh);
    const MeshObject& t = mesh.objects[0];
    EXPECT_FLOAT_EQ(t.faces[0].normal[0], 0);
    EXPECT_FLOAT_EQ(t.faces[0].normal[1], 0);
    EXPECT_FLOAT_EQ(t.faces[0].normal[2], 1);
    for (const MeshVertex& v : t.vertices) {
        EXPECT_FLOAT_EQ(v.normal[2], 1);
        EXPECT_FLOAT_EQ(v.inverse_face_count, 1);
    }

    // Two faces sharing the edge from vertex 0 to vertex 1, one in the floor, one in a wall.
    ObjectDraft pair;
    pair.name = "pair";
    pair.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    pair.faces = {{0, 1, 2}, {0, 1, 3}};
    Mesh two;
    ASSERT_TRUE(parse(mesh_write_3ds({}, {pair}), two));
    mesh_compute_normals(two);
    const MeshObject& p = two.objects[0];
    // In GL's frame the floor faces +Y and the wall +Z.
    EXPECT_FLOAT_EQ(p.faces[0].normal[1], 1);
    EXPECT_FLOAT_EQ(p.faces[1].normal[2], 1);
    EXPECT_NEAR(length(p.vertices[0].normal), std::sqrt(0.5f), 1e-6);
    EXPECT_FLOAT_EQ(p.vertices[0].inverse_face_count, 0.5f);
    EXPECT_FLOAT_EQ(p.vertices[2].inverse_face_count, 1);
    EXPECT_NEAR(length(p.vertices[2].normal), 1, 1e-6);
}

TEST(MeshReader, DegenerateFacesAndUnusedVerticesGetZeroNormals) {
    ObjectDraft o;
    o.name = "flat";
    const float nan = std::nanf("");
    o.vertices = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 0, 1}, {5, 5, 5}, {nan, 0, 0}};
    o.faces = {{0, 1, 2}, {0, 1, 3}, {5, 1, 3}};  // a line, a real triangle, one not a number
    Mesh mesh;
    ASSERT_TRUE(parse(mesh_write_3ds({}, {o}), mesh));
    mesh_compute_normals(mesh);
    const MeshObject& m = mesh.objects[0];
    for (const MeshFace& f : m.faces) {
        for (float n : f.normal) EXPECT_TRUE(std::isfinite(n));
    }
    EXPECT_EQ(length(m.faces[0].normal), 0);
    EXPECT_EQ(length(m.faces[2].normal), 0);
    EXPECT_NEAR(length(m.faces[1].normal), 1, 1e-6);
    // Vertex 0 lies on the line and the triangle: only the triangle counts.
    EXPECT_FLOAT_EQ(m.vertices[0].inverse_face_count, 1);
    EXPECT_NEAR(length(m.vertices[0].normal), 1, 1e-6);
    // Vertex 2 is only on the line, vertex 4 on nothing, vertex 5 only on the broken face.
    for (int i : {2, 4, 5}) {
        EXPECT_EQ(length(m.vertices[i].normal), 0) << i;
        EXPECT_EQ(m.vertices[i].inverse_face_count, 0) << i;
    }
}

TEST(MeshReader, HugeCoordinatesStillGiveUnitNormals) {
    ObjectDraft o;
    o.name = "big";
    o.vertices = {{0, 0, 0}, {1e30f, 0, 0}, {0, 0, 1e30f}};
    o.faces = {{0, 1, 2}};
    Mesh mesh;
    ASSERT_TRUE(parse(mesh_write_3ds({}, {o}), mesh));
    mesh_compute_normals(mesh);
    EXPECT_NEAR(mesh.objects[0].faces[0].normal[2], 1, 1e-6);
}

TEST(MeshReader, ColoursAndPercentages) {
    std::string bytes = in_editor([](ChunkWriter& w) {
        w.begin(0xAFFF);
        w.begin(0xA000);
        w.str("paint");
        w.end();
        w.begin(0xA010);  // one 24-bit colour
        w.begin(0x0011);
        w.u8(255), w.u8(128), w.u8(0);
        w.end();
        w.end();
        w.begin(0xA020);  // 24-bit, then linear 24-bit: the later counts
        w.begin(0x0011);
        w.u8(1), w.u8(2), w.u8(3);
        w.end();
        w.begin(0x0012);
        w.u8(0), w.u8(51), w.u8(255);
        w.end();
        w.end();
        w.begin(0xA030);  // float colour
        w.begin(0x0010);
        w.f32(0.5f), w.f32(2.0f), w.f32(-1.0f);
        w.end();
        w.end();
        w.begin(0xA040);
        w.begin(0x0030);
        w.u16(25);
        w.end();
        w.end();
        w.end();
        w.begin(0xAFFF);
        w.begin(0xA000);
        w.str("other");
        w.end();
        w.begin(0xA010);  // linear float colour after an unknown sub-chunk
        w.begin(0x0099);
        w.u32(0);
        w.end();
        w.begin(0x0013);
        w.f32(0.1f), w.f32(0.2f), w.f32(0.3f);
        w.end();
        w.end();
        w.begin(0xA020);  // no colour inside: black
        w.end();
        w.begin(0xA040);  // float percentage
        w.begin(0x0031);
        w.f32(0.75f);
        w.end();
        w.end();
        w.end();
        w.begin(0xAFFF);  // nothing given: the defaults
        w.end();
    });
    Mesh mesh;
    ASSERT_TRUE(parse(bytes, mesh));
    ASSERT_EQ(mesh.object_count, 0);
    // The list starts with the material read last.
    Material* blank = mesh.materials;
    ASSERT_NE(blank, nullptr);
    EXPECT_STREQ(blank->name, "");
    EXPECT_EQ(blank->texture, -1);
    EXPECT_EQ(blank->diffuse[1], 1);
    EXPECT_EQ(blank->ambient[0], 0);
    EXPECT_EQ(blank->shininess, 1.0f);
    Material* other = blank->next;
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->prev, blank);
    EXPECT_STREQ(other->name, "other");
    EXPECT_FLOAT_EQ(other->ambient[2], 0.3f);
    EXPECT_EQ(other->diffuse[0], 0);
    EXPECT_EQ(other->diffuse[1], 0);
    EXPECT_FLOAT_EQ(other->shininess, 0.75f);
    Material* paint = other->next;
    ASSERT_NE(paint, nullptr);
    EXPECT_EQ(paint->next, nullptr);
    EXPECT_STREQ(paint->name, "paint");
    EXPECT_FLOAT_EQ(paint->ambient[0], 1.0f);
    EXPECT_NEAR(paint->ambient[1], 0.50196f, 1e-5);
    EXPECT_FLOAT_EQ(paint->ambient[2], 0.0f);
    EXPECT_FLOAT_EQ(paint->diffuse[1], 0.2f);
    EXPECT_FLOAT_EQ(paint->diffuse[2], 1.0f);
    EXPECT_FLOAT_EQ(paint->specular[1], 2.0f);
    EXPECT_FLOAT_EQ(paint->shininess, 0.25f);
}

TEST(MeshReader, MaterialGroupsFindMaterialsReadBeforeThem) {
    MaterialDraft red{"red"}, blue{"blue"}, red_again{"red"};
    red.diffuse = {1, 0, 0};
    red_again.diffuse = {0.5f, 0, 0};
    ObjectDraft o;
    o.name = "quad";
    o.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    o.faces = {{0, 1, 2}, {0, 2, 3}, {1, 2, 3}};
    o.material_groups = {{"blue", {1}}, {"red", {0, 2}}, {"nobody", {2}}};
    Mesh mesh;
    ASSERT_TRUE(parse(mesh_write_3ds({red, blue, red_again}, {o}), mesh));
    const MeshObject& m = mesh.objects[0];
    ASSERT_NE(m.faces[0].material, nullptr);
    EXPECT_NEAR(m.faces[0].material->diffuse[0], 0.5f, 0.01f);  // a duplicated name finds the later one
    ASSERT_NE(m.faces[1].material, nullptr);
    EXPECT_STREQ(m.faces[1].material->name, "blue");
    EXPECT_EQ(m.faces[2].material, nullptr);  // its last group names no material

    // A material read after the object is not found by it; texture coordinates after the face
    // list with its nested groups are still found.
    std::string late = in_editor([&](ChunkWriter& w) {
        w.begin(0x4000);
        w.str("early");
        w.begin(0x4100);
        vertex_list(w, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
        w.begin(0x4120);
        w.u16(1);
        w.u16(0), w.u16(1), w.u16(2), w.u16(0);
        w.begin(0x4130);
        w.str("late");
        w.u16(1);
        w.u16(0);
        w.end();
        w.begin(0x4150);  // smoothing group: skipped
        w.u32(1);
        w.end();
        w.end();
        w.begin(0x4140);
        w.u16(1);
        w.f32(0.5f), w.f32(0.25f);
        w.end();
        w.end();
        w.end();
        w.begin(0xAFFF);
        w.begin(0xA000);
        w.str("late");
        w.end();
        w.end();
    });
    Mesh lm;
    ASSERT_TRUE(parse(late, lm));
    ASSERT_EQ(lm.object_count, 1);
    EXPECT_EQ(lm.objects[0].faces[0].material, nullptr);
    EXPECT_EQ(lm.objects[0].texcoord_count, 1);
    EXPECT_STREQ(lm.materials->name, "late");
}

TEST(MeshReader, TextureMapsLoadFromTheMeshDirectory) {
    MaterialDraft a{"a"}, b{"b"};
    a.map_name = "wood.tga";
    loaded_paths.clear();
    Mesh mesh;
    ASSERT_TRUE(parse(mesh_write_3ds({a, b}, {}), mesh, "data/models/", record_texture));
    ASSERT_EQ(loaded_paths.size(), 1u);
    EXPECT_EQ(loaded_paths[0], "data/models/wood.tga");
    EXPECT_EQ(mesh.materials->texture, -1);  // b
    EXPECT_STREQ(mesh.materials->next->map_name, "wood.tga");
    EXPECT_EQ(mesh.materials->next->texture, 7);
}

TEST(MeshReader, OnlyAMainChunkGivesAnEmptyMesh) {
    ChunkWriter w;
    w.begin(0x4D4D);
    w.begin(0x0002);
    w.u32(3);
    w.end();
    w.end();
    Mesh mesh;
    ASSERT_TRUE(parse(w.bytes, mesh));
    EXPECT_EQ(mesh.object_count, 0);
    EXPECT_TRUE(mesh.objects.empty());
    EXPECT_EQ(mesh.materials, nullptr);
}

TEST(MeshReader, ObjectsWithoutTrianglesAndKeyframesAreHarmless) {
    std::string bytes = in_editor([](ChunkWriter& w) {
        w.begin(0x4000);
        w.str("Light01");
        w.begin(0x4600);  // a light
        w.f32(1), w.f32(2), w.f32(3);
        w.end();
        w.end();
        w.begin(0xB000);  // keyframes hiding something that looks like an object
        w.begin(0x4000);
        w.str("ghost");
        w.end();
        w.end();
    });
    Mesh mesh;
    ASSERT_TRUE(parse(bytes, mesh));
    ASSERT_EQ(mesh.object_count, 1);
    EXPECT_STREQ(mesh.objects[0].name, "Light01");
    EXPECT_EQ(mesh.objects[0].face_count, 0);
    EXPECT_EQ(mesh.objects[0].vertex_count, 0);
    EXPECT_EQ(mesh.objects[0].texcoord_count, 0);
    mesh_compute_normals(mesh);
}

TEST(MeshReader, CubeAndTorusFromTheWriterFaceOutwards) {
    Mesh mesh;
    ASSERT_TRUE(parse(mesh_write_3ds({MaterialDraft{"m"}}, {mesh_draft_cube("cube", 2, "m"),
                                                            mesh_draft_torus("torus", 2, 0.5f, 12, 8, "m")}),
                      mesh));
    mesh_compute_normals(mesh);
    ASSERT_EQ(mesh.object_count, 2);
    const MeshObject& cube = mesh.objects[0];
    EXPECT_EQ(cube.vertex_count, 24);
    EXPECT_EQ(cube.face_count, 12);
    EXPECT_EQ(cube.texcoord_count, 24);
    for (const MeshFace& f : cube.faces) {
        EXPECT_EQ(f.material, mesh.materials);
        float centre[3] = {};
        for (uint16_t c : f.corners) {
            for (int i = 0; i < 3; ++i) centre[i] += cube.vertices[c].position[i] / 3;
        }
        // Each face normal is the axis of the side its centre lies on (edge 2: sides at +-1).
        for (int i = 0; i < 3; ++i) {
            float expected = std::fabs(centre[i]) > 0.99f ? centre[i] : 0.0f;
            EXPECT_NEAR(f.normal[i], expected, 1e-6);
        }
    }
    const MeshObject& torus = mesh.objects[1];
    EXPECT_EQ(torus.vertex_count, 13 * 9);
    EXPECT_EQ(torus.face_count, 12 * 8 * 2);
    for (const MeshVertex& v : torus.vertices) {
        // Away from the tube's centre line, which runs in GL's XZ plane.
        float r = std::hypot(v.position[0], v.position[2]);
        float out[3] = {v.position[0] - 2 * v.position[0] / r, v.position[1],
                        v.position[2] - 2 * v.position[2] / r};
        float dot = out[0] * v.normal[0] + out[1] * v.normal[1] + out[2] * v.normal[2];
        EXPECT_GT(dot, 0.3f);
    }
}

TEST(MeshReader, BuiltFractionsShowWholeFacesWithinTheObject) {
    EXPECT_EQ(mesh_built_faces(0.5f, 10), 5);
    EXPECT_EQ(mesh_built_faces(0.55f, 3), 1);
    EXPECT_EQ(mesh_built_faces(0, 10), 0);
    EXPECT_EQ(mesh_built_faces(-0.5f, 10), 0);
    EXPECT_EQ(mesh_built_faces(1, 10), 10);
    EXPECT_EQ(mesh_built_faces(3.5f, 10), 10);
    EXPECT_EQ(mesh_built_faces(std::nanf(""), 10), 0);
    EXPECT_EQ(mesh_built_faces(1e30f, 65535), 65535);
}
