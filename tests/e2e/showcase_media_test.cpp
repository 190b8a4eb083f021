// The showcase's scripts read by the player's own parser against the media its generators make:
// every section type is used, every file named exists, every spline has the channels its section
// reads, and no two sections depend on the order in which scripts happen to be listed.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

#include "resources/mesh.h"
#include "resources/spline.h"
#include "script/parser.h"
#include "script/section.h"
#include "showcase_support.h"

namespace {

using showcase::ExampleCopy;

// Channels each spline of a section type must have at least, by the spline's index (the last
// entry holds for every later spline too).
const std::map<std::string, std::vector<int>> spline_channels = {
    {"camera", {12}},         {"image", {9}},   {"imageMatrix", {9, 9, 4}},    {"object", {9}},
    {"objectMatrix", {9, 9}}, {"ray", {10, 3}}, {"particleMatrix", {3, 4, 4}}, {"pathway", {3}},
    {"efxDeform", {5}},
};

struct ParsedShowcase {
    ExampleCopy copy{"showcase", 2};
    std::vector<const Section*> sections;  // in the order parsed
    FatalCatcher catcher;

    ParsedShowcase() {
        ScopedChdir here(copy.dir.path);
        section_list_clear();
        script_discover(".");
        for (const Section* s = section_list; s != nullptr; s = s->next) sections.insert(sections.begin(), s);
    }
    ~ParsedShowcase() { section_list_clear(); }
    std::string type_name(const Section* s) const { return section_types[s->type]->name; }
};

TEST(ShowcaseScripts, UseEverySectionTypeWithMediaThatExistAndSplinesWideEnough) {
    ParsedShowcase show;
    ASSERT_FALSE(show.sections.empty());

    std::set<std::string> used;
    for (const Section* s : show.sections) used.insert(show.type_name(s));
    for (const SectionType* type : section_types)
        EXPECT_TRUE(used.count(type->name)) << type->name << " is not shown";

    ScopedChdir here(show.copy.dir.path);
    for (const Section* s : show.sections) {
        std::string type = show.type_name(s);
        for (int i = 0; i < s->string_count; ++i) {
            const std::string& text = s->strings[i];
            if (text.rfind("data/", 0) == 0 && text.back() != '/') {
                EXPECT_TRUE(showcase::fs::is_regular_file(text))
                    << type << " at " << s->start << ": " << text;
            }
        }
        if (type == "object" || type == "objectMatrix") {
            EXPECT_TRUE(showcase::fs::is_regular_file(s->strings[1] + s->strings[2]))
                << type << " at " << s->start;
        }
        auto wanted = spline_channels.find(type);
        for (int i = 0; i < s->spline_count; ++i) {
            ASSERT_NE(wanted, spline_channels.end()) << type << " takes no splines";
            int need = wanted->second[std::min<size_t>(i, wanted->second.size() - 1)];
            std::unique_ptr<Spline> spline(spline_load(s->spline_names[i].c_str()));
            EXPECT_GE(spline->channels, need) << s->spline_names[i] << " in " << type << " at " << s->start;
            EXPECT_GE(spline->key_count, 2) << s->spline_names[i];
        }
    }
}

TEST(ShowcaseScripts, FitTheMusicAndNeverLeaveDrawingOrderToTheFileSystem) {
    ParsedShowcase show;
    const Section* music = nullptr;
    const Section* loading = nullptr;
    for (const Section* s : show.sections) {
        if (show.type_name(s) == "sound") music = s;
        if (show.type_name(s) == "loading") {
            EXPECT_EQ(loading, nullptr) << "one loading screen";
            loading = s;
        }
    }
    ASSERT_NE(music, nullptr);
    ASSERT_NE(loading, nullptr);
    // The loading screen is not also a scene: it has no time span of its own.
    EXPECT_EQ(loading->end, 0);

    std::map<std::pair<int, float>, std::string> slots;
    for (const Section* s : show.sections) {
        std::string type = show.type_name(s);
        if (type == "loading") continue;
        EXPECT_GE(s->start, music->start) << type << " at " << s->start;
        EXPECT_LE(s->end, music->end) << type << " at " << s->start << " outlasts the music";
        if (type == "sound") continue;  // draws nothing
        // Sections on one layer that start together are drawn in the order the scripts were read,
        // which is the file system's listing order: the show must not depend on it.
        auto [it, fresh] = slots.emplace(std::make_pair(s->layer, s->start), type);
        EXPECT_TRUE(fresh) << type << " and " << it->second << " share layer " << s->layer << " and start "
                           << s->start;
    }
}

// Texture maps are looked up beside the model; the loader only records what it was asked for.
std::vector<std::string> requested_maps;
int record_map(const char* path) {
    requested_maps.push_back(path);
    return static_cast<int>(requested_maps.size()) - 1;
}

TEST(ShowcaseMeshes, AreClosedModelsFacingOutwardsWithTheirMapsBesideThem) {
    ExampleCopy copy("showcase");
    std::string dir = copy.dir.file("data/meshes/");
    for (const char* name : {"knot.3ds", "ball.3ds", "crystal.3ds", "torus.3ds", "cube.3ds", "grid.3ds"}) {
        SCOPED_TRACE(name);
        std::string bytes = read_file(dir + name);
        Mesh mesh;
        requested_maps.clear();
        ASSERT_TRUE(mesh_parse(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                               dir.c_str(), mesh, record_map));
        mesh_compute_normals(mesh);
        ASSERT_EQ(mesh.object_count, 1);
        const MeshObject& o = mesh.objects[0];
        ASSERT_GT(o.face_count, 0);
        EXPECT_EQ(o.texcoord_count, o.vertex_count);
        for (const std::string& map : requested_maps) EXPECT_TRUE(showcase::fs::is_regular_file(map)) << map;

        // Every face has a material, so every render mode (the textured one too) draws it.
        double volume = 0;
        for (const MeshFace& f : o.faces) {
            ASSERT_NE(f.material, nullptr);
            float length =
                std::sqrt(f.normal[0] * f.normal[0] + f.normal[1] * f.normal[1] + f.normal[2] * f.normal[2]);
            EXPECT_NEAR(length, 1.0f, 1e-3f);
            const float* a = o.vertices[f.corners[0]].position;
            const float* b = o.vertices[f.corners[1]].position;
            const float* c = o.vertices[f.corners[2]].position;
            volume += (a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
                       a[2] * (b[0] * c[1] - b[1] * c[0])) /
                      6;
        }
        // For a closed surface the signed volume is positive exactly when its faces turn
        // counter-clockwise seen from outside, which is what culling and the outline expect.
        std::string n = name;
        if (n == "cube.3ds") {
            EXPECT_NEAR(volume, 1.0, 1e-4);
        } else if (n != "grid.3ds") {
            EXPECT_GT(volume, 0.0) << "faces turned inwards";
        }
    }
}

}  // namespace
