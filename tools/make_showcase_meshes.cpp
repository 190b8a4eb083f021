// Writes the example demo's 3DS models: a trefoil knot, a faceted ball, a crystal, a textured
// torus and cube, and a floor grid. Each has one material and texture coordinates; the torus and
// cube name a texture map that the player looks up beside the model.
// Usage: make_showcase_meshes OUTPUT_DIR [MAP]   (MAP: the map file name, default tiles.tga)
#include <sys/stat.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "mesh_writer.h"
#include "tool_help.h"

namespace {

constexpr float PI = 3.14159265358979f;
using Vec = std::array<float, 3>;

Vec add(Vec a, Vec b) {
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}
Vec sub(Vec a, Vec b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
Vec scale(Vec a, float s) {
    return {a[0] * s, a[1] * s, a[2] * s};
}
float dot(Vec a, Vec b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
Vec cross(Vec a, Vec b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vec unit(Vec a) {
    float l = std::sqrt(dot(a, a));
    return l > 0 ? scale(a, 1 / l) : a;
}

uint16_t index_of(size_t i) {
    return static_cast<uint16_t>(i);
}

void group_all(ObjectDraft& o, const std::string& material) {
    std::vector<uint16_t> faces(o.faces.size());
    for (size_t i = 0; i < faces.size(); ++i) faces[i] = index_of(i);
    o.material_groups.push_back({material, faces});
}

// A tube swept along the (2, 3) torus knot. The cross-section is carried along the curve by
// parallel transport so that the tube does not twist.
ObjectDraft knot(float size, float tube, int steps, int sides, const std::string& material) {
    ObjectDraft o;
    o.name = "Knot";
    auto curve = [&](float t) {
        float r = 2 + std::cos(3 * t);
        return scale(Vec{r * std::cos(2 * t), r * std::sin(2 * t), -std::sin(3 * t)}, size / 3);
    };
    std::vector<Vec> centres, tangents;
    for (int i = 0; i <= steps; ++i) {
        float t = 2 * PI * static_cast<float>(i) / static_cast<float>(steps);
        centres.push_back(curve(t));
        tangents.push_back(unit(sub(curve(t + 0.001f), curve(t - 0.001f))));
    }
    Vec normal = unit(cross(tangents[0], Vec{0, 0, 1}));
    for (int i = 0; i <= steps; ++i) {
        Vec t = tangents[static_cast<size_t>(i)];
        normal = unit(sub(normal, scale(t, dot(normal, t))));
        Vec binormal = cross(t, normal);
        for (int j = 0; j <= sides; ++j) {
            float a = 2 * PI * static_cast<float>(j) / static_cast<float>(sides);
            Vec offset = add(scale(normal, std::cos(a) * tube), scale(binormal, std::sin(a) * tube));
            o.vertices.push_back(add(centres[static_cast<size_t>(i)], offset));
            o.texcoords.push_back({static_cast<float>(i) * 8 / static_cast<float>(steps),
                                   static_cast<float>(j) / static_cast<float>(sides)});
        }
    }
    auto at = [&](int i, int j) { return index_of(static_cast<size_t>(i * (sides + 1) + j)); };
    for (int i = 0; i < steps; ++i) {
        for (int j = 0; j < sides; ++j) {
            o.faces.push_back({at(i, j), at(i + 1, j + 1), at(i + 1, j)});
            o.faces.push_back({at(i, j), at(i, j + 1), at(i + 1, j + 1)});
        }
    }
    group_all(o, material);
    return o;
}

// Triangles with vertices of their own, so every vertex normal is its face's normal and the
// surface shows its facets in every render mode.
void add_facet(ObjectDraft& o, Vec a, Vec b, Vec c) {
    size_t base = o.vertices.size();
    for (const Vec& v : {a, b, c}) {
        o.vertices.push_back(v);
        // Spherical coordinates of the corner, for a map wrapped around the model.
        Vec n = unit(v);
        o.texcoords.push_back({0.5f + std::atan2(n[1], n[0]) / (2 * PI), 0.5f + std::asin(n[2]) / PI});
    }
    o.faces.push_back({index_of(base), index_of(base + 1), index_of(base + 2)});
}

// An icosahedron whose faces are split `levels` times and pushed out onto the sphere.
ObjectDraft faceted_ball(float radius, int levels, const std::string& material) {
    const float g = (1 + std::sqrt(5.0f)) / 2;
    std::vector<Vec> v = {{-1, g, 0},  {1, g, 0},  {-1, -g, 0}, {1, -g, 0}, {0, -1, g},  {0, 1, g},
                          {0, -1, -g}, {0, 1, -g}, {g, 0, -1},  {g, 0, 1},  {-g, 0, -1}, {-g, 0, 1}};
    std::vector<std::array<int, 3>> f = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                                         {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                                         {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                                         {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};
    std::vector<std::array<Vec, 3>> tris;
    for (const auto& t : f) tris.push_back({unit(v[t[0]]), unit(v[t[1]]), unit(v[t[2]])});
    for (int l = 0; l < levels; ++l) {
        std::vector<std::array<Vec, 3>> finer;
        for (const auto& t : tris) {
            Vec ab = unit(add(t[0], t[1])), bc = unit(add(t[1], t[2])), ca = unit(add(t[2], t[0]));
            finer.push_back({t[0], ab, ca});
            finer.push_back({ab, t[1], bc});
            finer.push_back({ca, bc, t[2]});
            finer.push_back({ab, bc, ca});
        }
        tris = finer;
    }
    ObjectDraft o;
    o.name = "Ball";
    for (const auto& t : tris) add_facet(o, scale(t[0], radius), scale(t[1], radius), scale(t[2], radius));
    group_all(o, material);
    return o;
}

// A long double pyramid on a hexagon, the shape of a quartz crystal.
ObjectDraft crystal(float radius, float height, const std::string& material) {
    ObjectDraft o;
    o.name = "Crystal";
    Vec top{0, 0, height}, bottom{0, 0, -height * 0.6f};
    for (int i = 0; i < 6; ++i) {
        float a0 = 2 * PI * static_cast<float>(i) / 6, a1 = 2 * PI * static_cast<float>(i + 1) / 6;
        Vec p0{radius * std::cos(a0), radius * std::sin(a0), 0};
        Vec p1{radius * std::cos(a1), radius * std::sin(a1), 0};
        add_facet(o, p0, p1, top);
        add_facet(o, p1, p0, bottom);
    }
    group_all(o, material);
    return o;
}

// Floor lines in the file's XY plane (the player's floor): each line is one sliver of a triangle,
// which wireframe drawing shows as a single line without the diagonals a tiled plane would have.
ObjectDraft grid(float half, int lines, const std::string& material) {
    ObjectDraft o;
    o.name = "Grid";
    const float sliver = 0.002f;
    for (int i = 0; i < lines; ++i) {
        float c = -half + 2 * half * static_cast<float>(i) / static_cast<float>(lines - 1);
        size_t base = o.vertices.size();
        o.vertices.push_back({c, -half, 0});
        o.vertices.push_back({c + sliver, -half, 0});
        o.vertices.push_back({c, half, 0});
        o.vertices.push_back({-half, c, 0});
        o.vertices.push_back({half, c, 0});
        o.vertices.push_back({-half, c + sliver, 0});
        for (int k = 0; k < 6; ++k) o.texcoords.push_back({0, 0});
        o.faces.push_back({index_of(base), index_of(base + 1), index_of(base + 2)});
        o.faces.push_back({index_of(base + 3), index_of(base + 4), index_of(base + 5)});
    }
    o.smoothing_groups = false;
    group_all(o, material);
    return o;
}

MaterialDraft material(const std::string& name, std::array<float, 3> diffuse, const std::string& map = "") {
    MaterialDraft m;
    m.name = name;
    m.diffuse = diffuse;
    m.map_name = map;
    return m;
}

bool save(const std::string& path, const std::vector<MaterialDraft>& materials, const ObjectDraft& object) {
    std::string bytes = mesh_write_3ds(materials, {object});
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        std::perror(path.c_str());
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (std::fclose(out) != 0 || !written) {
        std::perror(path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (tool_help(argc, argv, "make_showcase_meshes OUTPUT_DIR [MAP]   (MAP: default tiles.tga)")) return 0;
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR [MAP]\n", argv[0]);
        return 2;
    }
    std::string dir = argv[1];
    std::string map = argc == 3 ? argv[2] : "tiles.tga";
    mkdir(dir.c_str(), 0755);

    MaterialDraft chrome = material("chrome", {0.8f, 0.85f, 0.9f});
    MaterialDraft glass = material("glass", {0.5f, 0.8f, 1.0f});
    MaterialDraft tiles = material("tiles", {1, 1, 1}, map);
    bool ok = true;
    ok &= save(dir + "/knot.3ds", {chrome}, knot(3.0f, 0.45f, 160, 12, "chrome"));
    ok &= save(dir + "/ball.3ds", {glass}, faceted_ball(2.0f, 1, "glass"));
    ok &= save(dir + "/crystal.3ds", {glass}, crystal(0.35f, 1.2f, "glass"));
    ok &= save(dir + "/torus.3ds", {tiles}, mesh_draft_torus("Torus", 2.0f, 0.8f, 40, 20, "tiles"));
    ok &= save(dir + "/cube.3ds", {tiles}, mesh_draft_cube("Cube", 1.0f, "tiles"));
    ok &= save(dir + "/grid.3ds", {chrome}, grid(40.0f, 41, "chrome"));
    return ok ? 0 : 1;
}
