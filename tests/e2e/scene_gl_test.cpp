// The mesh drawers and the spline transform helpers against a real OpenGL context: faces drawn
// are counted in feedback mode, matrices and colours read back, pixels read from the window.
#include <string>
#include <vector>

#include "gl_window.h"
#include "resources/mesh.h"
#include "resources/spline.h"
#include "script/section.h"
#include "sections/mesh_draw.h"
#include "sections/transform.h"
#include "test_support.h"

namespace {

constexpr int SIDE = 64;

// A polygon from the feedback buffer: its window-space vertices with colour (RGBA).
struct FeedbackPolygon {
    std::vector<std::array<float, 7>> vertices;
};

// Runs `draw` in feedback mode (3D positions and colours) and returns the polygons it made.
template <typename Fn>
std::vector<FeedbackPolygon> feedback(Fn&& draw) {
    std::vector<GLfloat> buffer(1 << 20);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    GLint n = glRenderMode(GL_RENDER);
    std::vector<FeedbackPolygon> polygons;
    for (GLint i = 0; i < n;) {
        auto token = static_cast<GLenum>(buffer[i++]);
        int vertices = 0;
        if (token == GL_POLYGON_TOKEN) {
            vertices = static_cast<int>(buffer[i++]);
            FeedbackPolygon p;
            for (int v = 0; v < vertices; ++v, i += 7) {
                std::array<float, 7> values;
                for (int k = 0; k < 7; ++k) values[k] = buffer[i + k];
                p.vertices.push_back(values);
            }
            polygons.push_back(p);
            continue;
        }
        if (token == GL_PASS_THROUGH_TOKEN) {
            ++i;
            continue;
        }
        vertices = (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) ? 2 : 1;
        i += 7 * vertices;
    }
    return polygons;
}

// Triangles in a row inside the unit square, each its own three vertices.
MeshObject strip_object(int faces, float y) {
    MeshObject o;
    o.face_count = faces;
    o.vertex_count = faces * 3;
    for (int i = 0; i < faces; ++i) {
        float x = -0.9f + 1.8f * static_cast<float>(i) / static_cast<float>(faces);
        float w = 1.6f / static_cast<float>(faces);
        MeshVertex a, b, c;
        a.position[0] = x, a.position[1] = y;
        b.position[0] = x + w, b.position[1] = y;
        c.position[0] = x, c.position[1] = y + 0.3f;
        o.vertices.insert(o.vertices.end(), {a, b, c});
        MeshFace f;
        for (int k = 0; k < 3; ++k) f.corners[k] = static_cast<uint16_t>(i * 3 + k);
        o.faces.push_back(f);
    }
    return o;
}

struct SceneGl : GlWindowTest<SIDE> {
    void SetUp() override {
        GlWindowTest::SetUp();
        if (HasFatalFailure()) return;
        glViewport(0, 0, SIDE, SIDE);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_DEPTH_TEST);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    void TearDown() override {
        current_section = nullptr;
        for (auto*& s : section.splines) s = nullptr;
        GlWindowTest::TearDown();
    }
    void add_spline(const std::string& text) {
        std::string name = "s" + std::to_string(section.spline_count) + ".spl";
        write_file(dir.file(name), text);
        splines.emplace_back(spline_load(name.c_str()));
        spline_set_duration(splines.back().get(), 2);
        section.splines[section.spline_count++] = splines.back().get();
    }
    std::array<unsigned char, 3> pixel(int x, int y) {
        std::array<unsigned char, 3> p{};
        glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p.data());
        return p;
    }
    Matrix4 modelview() {
        Matrix4 m;
        glGetFloatv(GL_MODELVIEW_MATRIX, m.m);
        return m;
    }
    int solid_texture(unsigned char r, unsigned char g, unsigned char b) {
        std::string name = "t" + std::to_string(texture_count) + ".tga";
        write_tga(dir.file(name), 4, 4, solid_rgb(4, 4, r, g, b));
        int t = texture_load(name.c_str());
        texture_upload(t);
        return t;
    }
    Section section;
    std::vector<std::unique_ptr<Spline>> splines;
};

void expect_same(const Matrix4& a, const Matrix4& b) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.m[i], b.m[i], 1e-4) << "element " << i;
}

}  // namespace

TEST_F(SceneGl, SplineHelpersMultiplyWhatThePureMatricesSay) {
    add_spline("2 3 0.5 30 -45 60 1 2 3\n1 1 1 0 0 0 0 0 0\n4 2 2 90 90 90 -1 -2 -3\n");
    add_spline("0.25 0.5 0.75 1\n1 0 0 0.5\n");
    current_section = &section;
    Matrix4 start = matrix_translate(0.5f, -1, 2);
    for (float t : {0.0f, 0.7f, 1.5f}) {
        float ch[16] = {};
        spline_eval(splines[0].get(), ch, t);
        glLoadMatrixf(start.m);
        spline_transform_srt(t, 0);
        expect_same(modelview(), matrix_multiply(start, transform_srt_matrix(ch)));
        glLoadMatrixf(start.m);
        spline_transform_trs(t, 0);
        expect_same(modelview(), matrix_multiply(start, transform_trs_matrix(ch)));
    }
    spline_color(0, 1);
    float colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[0], 0.25f);
    EXPECT_FLOAT_EQ(colour[3], 1.0f);
    spline_color(5, 1);  // past the end: the last key
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[0], 1.0f);
    EXPECT_FLOAT_EQ(colour[3], 0.5f);
}

TEST_F(SceneGl, EveryDrawerShowsTheBuiltShareOfEachObject) {
    Mesh mesh;
    mesh.objects.push_back(strip_object(10, -0.8f));
    mesh.objects.push_back(strip_object(7, 0.2f));
    mesh.object_count = 2;
    mesh_compute_normals(mesh);
    void (*drawers[])(const Mesh&, float) = {mesh_draw_plain,    mesh_draw_flat,     mesh_draw_smooth,
                                             mesh_draw_textured, mesh_draw_sphere_s, mesh_draw_sphere_st};
    for (auto draw : drawers) {
        // trunc(f x faces) per object: 5 + 3 at one half, all at 1 and above, none at 0.
        EXPECT_EQ(feedback([&] { draw(mesh, 0.5f); }).size(), 8u);
        EXPECT_EQ(feedback([&] { draw(mesh, 0.0f); }).size(), 0u);
        EXPECT_EQ(feedback([&] { draw(mesh, 1.0f); }).size(), 17u);
        EXPECT_EQ(feedback([&] { draw(mesh, 2.5f); }).size(), 17u);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
    // The first faces of each object are the ones shown: the leftmost.
    std::vector<FeedbackPolygon> half = feedback([&] { mesh_draw_plain(mesh, 0.5f); });
    for (const FeedbackPolygon& p : half) {
        for (const auto& v : p.vertices) EXPECT_LT(v[0], SIDE / 2 + 1);
    }
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
}

TEST_F(SceneGl, TexturedFacesWithoutMaterialDrawUntexturedInTheCurrentColour) {
    Mesh mesh;
    MeshObject o = strip_object(3, -0.5f);
    // Vertex texture coordinates for only part of the vertices.
    o.texcoords = {0.5f, 0.5f, 0.5f, 0.5f};
    o.texcoord_count = 2;
    mesh.objects.push_back(o);
    mesh.object_count = 1;
    auto textured = std::make_unique<Material>();
    textured->texture = solid_texture(255, 0, 0);
    auto plain = std::make_unique<Material>();
    // Face 0 textured red; face 1 without material; face 2 with a material without texture,
    // which keeps whatever is in force.
    mesh.objects[0].faces[0].material = textured.get();
    mesh.objects[0].faces[2].material = plain.get();
    mesh_compute_normals(mesh);

    glColor4f(0, 0, 1, 1);
    mesh_draw_textured(mesh, 1);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    // Centres of the three faces' lower-left regions, in pixels.
    auto face_pixel = [](int i) {
        float x = -0.9f + 1.8f * static_cast<float>(i) / 3 + 0.1f;
        return static_cast<int>((x + 1) / 2 * SIDE);
    };
    int row = static_cast<int>((-0.45f + 1) / 2 * SIDE);
    EXPECT_EQ(pixel(face_pixel(0), row), (std::array<unsigned char, 3>{255, 0, 0}));
    EXPECT_EQ(pixel(face_pixel(1), row), (std::array<unsigned char, 3>{0, 0, 255}));
    EXPECT_EQ(pixel(face_pixel(2), row), (std::array<unsigned char, 3>{0, 0, 255}));

    // After a textured face, a material without texture keeps the binding.
    mesh.objects[0].faces[1].material = textured.get();
    glClear(GL_COLOR_BUFFER_BIT);
    mesh_draw_textured(mesh, 1);
    EXPECT_EQ(pixel(face_pixel(2), row), (std::array<unsigned char, 3>{255, 0, 0}));
}

TEST_F(SceneGl, MaterialsAreSentWithFourComponentsOnlyWhenTheyChange) {
    Mesh mesh;
    mesh.objects.push_back(strip_object(2, 0));
    mesh.object_count = 1;
    auto m = std::make_unique<Material>();
    m->ambient[0] = 0.25f;
    m->diffuse[1] = 0.5f;
    m->specular[2] = 0.75f;
    m->shininess = 0.3f;
    mesh.objects[0].faces[1].material = m.get();
    mesh_compute_normals(mesh);
    mesh_draw_flat(mesh, 1);
    float ambient[4], diffuse[4], specular[4], shininess;
    glGetMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
    glGetMaterialfv(GL_BACK, GL_DIFFUSE, diffuse);
    glGetMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
    EXPECT_FLOAT_EQ(ambient[0], 0.25f);
    EXPECT_FLOAT_EQ(ambient[3], 1.0f);
    EXPECT_FLOAT_EQ(diffuse[1], 0.5f);
    EXPECT_FLOAT_EQ(diffuse[3], 1.0f);
    EXPECT_FLOAT_EQ(specular[2], 0.75f);
    EXPECT_FLOAT_EQ(shininess, 0.3f);
}
