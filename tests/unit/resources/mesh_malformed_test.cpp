// Broken 3DS files: every one must be refused (or read soundly), never read out of bounds.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include "resources/mesh.h"
#include "resources/mesh_writer.h"

namespace {

bool parse(const std::string& bytes, Mesh& mesh) {
    // A private copy of exactly the bytes, so a read past the end is a read past an allocation.
    std::unique_ptr<unsigned char[]> copy(new unsigned char[bytes.size() + 1]);
    std::memcpy(copy.get(), bytes.data(), bytes.size());
    return mesh_parse(copy.get(), bytes.size(), "", mesh, nullptr);
}

bool parses(const std::string& bytes) {
    Mesh mesh;
    return parse(bytes, mesh);
}

std::string in_object(const std::function<void(ChunkWriter&)>& fill) {
    ChunkWriter w;
    w.begin(0x4D4D);
    w.begin(0x3D3D);
    w.begin(0x4000);
    w.str("obj");
    w.begin(0x4100);
    fill(w);
    w.end();
    w.end();
    w.end();
    w.end();
    return w.bytes;
}

void triangle_chunks(ChunkWriter& w, uint16_t corner) {
    w.begin(0x4110);
    w.u16(3);
    for (int i = 0; i < 9; ++i) w.f32(static_cast<float>(i % 4));
    w.end();
    w.begin(0x4120);
    w.u16(1);
    w.u16(0), w.u16(1), w.u16(corner), w.u16(0);
    w.end();
}

std::string sample_file() {
    MaterialDraft m{"skin"};
    m.map_name = "skin.tga";
    return mesh_write_3ds(
        {m}, {mesh_draft_cube("box", 1, "skin"), mesh_draft_torus("ring", 1, 0.25f, 6, 4, "skin")});
}

}  // namespace

TEST(MeshMalformed, WrongOrMissingMainChunk) {
    EXPECT_FALSE(parses(""));
    EXPECT_FALSE(parses("MM"));
    ChunkWriter w;
    w.begin(0x3D3D);
    w.end();
    EXPECT_FALSE(parses(w.bytes));
}

TEST(MeshMalformed, EveryTruncationIsRefused) {
    std::string whole = sample_file();
    ASSERT_TRUE(parses(whole));
    for (size_t n = 0; n < whole.size(); ++n) EXPECT_FALSE(parses(whole.substr(0, n))) << n;
}

TEST(MeshMalformed, LyingChunkLengths) {
    // A length below the header's own size would walk backwards forever.
    for (uint32_t bad : {0u, 1u, 5u}) {
        ChunkWriter w;
        w.begin(0x4D4D);
        w.header(0x1234, bad);
        w.u32(0);
        w.end();
        EXPECT_FALSE(parses(w.bytes)) << bad;
    }
    // A sub-chunk longer than the chunk holding it.
    {
        ChunkWriter w;
        w.begin(0x4D4D);
        w.begin(0x3D3D);
        w.header(0x5555, 100);
        w.end();
        for (int i = 0; i < 100; ++i) w.u8(0);
        w.end();
        EXPECT_FALSE(parses(w.bytes));
    }
    // A vertex list promising more vertices than its chunk holds (the rest of the file would
    // otherwise be read as coordinates).
    EXPECT_FALSE(parses(in_object([](ChunkWriter& w) {
        w.header(0x4110, 6 + 2 + 12);
        w.u16(3);
        for (int i = 0; i < 9; ++i) w.f32(1);
    })));
    // A colour chunk that is shorter than its three bytes.
    {
        ChunkWriter w;
        w.begin(0x4D4D);
        w.begin(0xAFFF);
        w.begin(0xA010);
        w.header(0x0011, 7);
        w.u8(1), w.u8(2), w.u8(3);
        w.end();
        w.end();
        w.end();
        EXPECT_FALSE(parses(w.bytes));
    }
    // An object whose name runs on past the end of its chunk.
    {
        ChunkWriter w;
        w.begin(0x4D4D);
        w.header(0x4000, 8);
        w.str("a long name");
        w.end();
        EXPECT_FALSE(parses(w.bytes));
    }
    // A main chunk claiming more than the file holds.
    {
        ChunkWriter w;
        w.header(0x4D4D, 1000);
        EXPECT_FALSE(parses(w.bytes));
    }
}

TEST(MeshMalformed, AbsurdCountsAreRefused) {
    EXPECT_FALSE(parses(in_object([](ChunkWriter& w) {
        w.begin(0x4110);
        w.u16(65535);
        w.f32(1);
        w.end();
    })));
    EXPECT_FALSE(parses(in_object([](ChunkWriter& w) {
        w.begin(0x4120);
        w.u16(40000);
        w.end();
    })));
    EXPECT_FALSE(parses(in_object([](ChunkWriter& w) {
        w.begin(0x4140);
        w.u16(9999);
        w.end();
    })));
}

TEST(MeshMalformed, IndicesOutOfRange) {
    EXPECT_TRUE(parses(in_object([](ChunkWriter& w) { triangle_chunks(w, 2); })));
    EXPECT_FALSE(parses(in_object([](ChunkWriter& w) { triangle_chunks(w, 3); })));
    EXPECT_FALSE(parses(in_object([](ChunkWriter& w) { triangle_chunks(w, 65535); })));
    // Faces before any vertex list.
    EXPECT_FALSE(parses(in_object([](ChunkWriter& w) {
        w.begin(0x4120);
        w.u16(1);
        w.u16(0), w.u16(0), w.u16(0), w.u16(0);
        w.end();
    })));
    // A material group naming a face the object does not have.
    auto group = [](uint16_t face) {
        return in_object([face](ChunkWriter& w) {
            triangle_chunks(w, 2);
            w.begin(0x4130);
            w.str("m");
            w.u16(1);
            w.u16(face);
            w.end();
        });
    };
    EXPECT_TRUE(parses(group(0)));
    EXPECT_FALSE(parses(group(1)));
    EXPECT_FALSE(parses(group(65535)));
}

TEST(MeshMalformed, NamesMustFitTheirFields) {
    std::string fits(63, 'n'), too_long(64, 'n');
    auto object_named = [](const std::string& name) {
        ObjectDraft o;
        o.name = name;
        return mesh_write_3ds({}, {o});
    };
    Mesh ok;
    ASSERT_TRUE(parse(object_named(fits), ok));
    EXPECT_EQ(std::string(ok.objects[0].name), fits);
    EXPECT_FALSE(parses(object_named(too_long)));

    MaterialDraft named{too_long};
    EXPECT_FALSE(parses(mesh_write_3ds({named}, {})));
    MaterialDraft mapped{"m"};
    mapped.map_name = too_long;
    EXPECT_FALSE(parses(mesh_write_3ds({mapped}, {})));
    mapped.map_name = fits;
    EXPECT_TRUE(parses(mesh_write_3ds({mapped}, {})));
    ObjectDraft grouped = mesh_draft_cube("c", 1, too_long);
    EXPECT_FALSE(parses(mesh_write_3ds({}, {grouped})));

    // A name with no end before the data ends.
    ChunkWriter w;
    w.begin(0x4D4D);
    w.begin(0x4000);
    w.bytes += "unterminated";
    w.end();
    w.end();
    EXPECT_FALSE(parses(w.bytes));
}

TEST(MeshMalformed, DeepNestingIsRefusedWithoutExhaustingTheStack) {
    ChunkWriter w;
    w.begin(0x4D4D);
    for (int i = 0; i < 100000; ++i) w.begin(0x3D3D);
    for (int i = 0; i < 100000; ++i) w.end();
    w.end();
    EXPECT_FALSE(parses(w.bytes));
}

TEST(MeshMalformed, CorruptedFilesNeverBreakTheMeshInvariants) {
    std::string whole = sample_file();
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string bytes = whole;
        int flips = 1 + next() % 4;
        for (int k = 0; k < flips; ++k) bytes[next() % bytes.size()] = static_cast<char>(next());
        Mesh mesh;
        if (!parse(bytes, mesh)) continue;
        ++accepted;
        mesh_compute_normals(mesh);
        ASSERT_EQ(mesh.object_count, static_cast<int>(mesh.objects.size()));
        for (const MeshObject& o : mesh.objects) {
            ASSERT_EQ(o.face_count, static_cast<int>(o.faces.size()));
            ASSERT_EQ(o.vertex_count, static_cast<int>(o.vertices.size()));
            ASSERT_EQ(o.texcoord_count * 2, static_cast<int>(o.texcoords.size()));
            ASSERT_LT(std::strlen(o.name), size_t{MESH_NAME_SIZE});
            for (const MeshFace& f : o.faces) {
                for (uint16_t c : f.corners) ASSERT_LT(c, o.vertices.size());
                for (float n : f.normal) ASSERT_TRUE(std::isfinite(n));
            }
            for (const MeshVertex& v : o.vertices) {
                for (float n : v.normal) ASSERT_TRUE(std::isfinite(n));
            }
        }
    }
    // Flips in vertex data leave files that still read; the run must have seen both outcomes.
    EXPECT_GT(accepted, 0);
    EXPECT_LT(accepted, 3000);
}
