// Load-time checks of the image, imageMatrix, camera, object and objectMatrix sections. Every
// refusal happens before anything touches GL, so these run without a window.
#include <gtest/gtest.h>

#include <string>

#include "core/config.h"
#include "gfx/view.h"
#include "resources/mesh.h"
#include "resources/mesh_writer.h"
#include "resources/spline.h"
#include "script/section.h"
#include "sections/camera.h"
#include "sections/image.h"
#include "sections/object.h"
#include "test_support.h"

namespace {

// A section with `channels`-wide one-key splines, run through one init callback.
struct SectionFixture : ::testing::Test {
    Section section;
    std::vector<std::unique_ptr<Spline>> splines;

    void add_spline(int channels) {
        auto spline = std::make_unique<Spline>();
        spline->channels = channels;
        spline->keys.resize(1);
        for (int i = 0; i < channels; ++i) spline->keys[0].values[i] = static_cast<float>(i + 1);
        spline->key_count = 1;
        spline->duration = 1;
        section.splines[section.spline_count] = spline.get();
        section.spline_names[section.spline_count] = "s" + std::to_string(section.spline_count);
        ++section.spline_count;
        splines.push_back(std::move(spline));
    }
    void add_params(std::initializer_list<float> values) {
        for (float v : values) section.params[section.param_count++] = v;
    }
    void add_strings(std::initializer_list<const char*> values) {
        for (const char* v : values) section.strings[section.string_count++] = v;
    }
    std::string init(void (*callback)()) {
        section.duration = 4;
        current_section = &section;
        std::string message = fatal_message_of(callback);
        current_section = nullptr;
        return message;
    }
    ~SectionFixture() override {
        // The section does not own the test's splines.
        for (auto*& s : section.splines) s = nullptr;
    }
};

using ImageInit = SectionFixture;
using CameraInit = SectionFixture;
using ObjectInit = SectionFixture;

}  // namespace

TEST(ImageQuad, OneUnitPerTexelCentredWithTheFirstRowUp) {
    ImageQuad quad;
    image_quad_build(quad, 3, 4, 2);
    EXPECT_EQ(quad.texture, 3);
    const float vertices[4][3] = {{-2, 1, 0}, {2, 1, 0}, {2, -1, 0}, {-2, -1, 0}};
    const float texcoords[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int i = 0; i < 4; ++i) {
        for (int k = 0; k < 3; ++k) EXPECT_EQ(quad.vertices[i][k], vertices[i][k]);
        for (int k = 0; k < 2; ++k) EXPECT_EQ(quad.texcoords[i][k], texcoords[i][k]);
    }
}

TEST_F(ImageInit, ImageCountsAreCheckedInOrder) {
    add_params({1});
    EXPECT_EQ(init(image_init), "image: no floats needed");
    section.param_count = 0;
    EXPECT_EQ(init(image_init), "image: one string needed");
    add_strings({"a.tga", "b.tga"});
    EXPECT_EQ(init(image_init), "image: one string needed");
    section.string_count = 1;
    EXPECT_EQ(init(image_init), "image: one spline needed");
    add_spline(3);
    EXPECT_EQ(init(image_init), "image: spline 0 has 3 channels, 9 needed");
    add_spline(9);
    EXPECT_EQ(init(image_init), "image: one spline needed");
}

TEST_F(ImageInit, ImageMatrixCountsChannelsAndModulation) {
    EXPECT_EQ(init(image_matrix_init), "imageMatrix: two floats needed");
    add_params({3, 0.5f});
    EXPECT_EQ(init(image_matrix_init), "imageMatrix: one string needed");
    TempDir dir;
    ScopedChdir here(dir.path);
    add_strings({"missing.tga"});
    add_spline(9);
    add_spline(9);
    EXPECT_EQ(init(image_matrix_init), "imageMatrix: threee splines needed");
    add_spline(3);
    EXPECT_EQ(init(image_matrix_init), "imageMatrix: spline 2 has 3 channels, 4 needed");
    splines[2]->channels = 4;
    // The image is loaded, and its error reported, before the modulation is judged.
    std::string missing = init(image_matrix_init);
    EXPECT_EQ(missing.rfind("Error loading 'missing.tga'", 0), 0u) << missing;
    write_tga(dir.file("pic.tga"), 4, 2, solid_rgb(4, 2, 9, 9, 9));
    section.strings[0] = "pic.tga";
    EXPECT_EQ(init(image_matrix_init), "imageMatrix: invalid modulation");
    splines[1]->channels = 8;
    EXPECT_EQ(init(image_matrix_init), "imageMatrix: spline 1 has 8 channels, 9 needed");
}

TEST_F(CameraInit, RefusesValuesAndShortSplines) {
    add_params({1});
    EXPECT_EQ(init(camera_section_init), "camera: no floats needed");
    section.param_count = 0;
    add_strings({"x"});
    EXPECT_EQ(init(camera_section_init), "camera: no strings needed");
    section.string_count = 0;
    add_spline(9);
    EXPECT_EQ(init(camera_section_init), "camera: spline 0 has 9 channels, 12 needed");
    // Two splines are not used at all, so their width does not matter.
    add_spline(2);
    EXPECT_EQ(init(camera_section_init), "");
}

TEST_F(CameraInit, StartsAtTheInitialViewWithTheDisplayAspect) {
    display_aspect = 4.0f / 3.0f;
    ASSERT_EQ(init(camera_section_init), "");
    const Camera* c = static_cast<Camera*>(section.data);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->position.x, 0);
    EXPECT_EQ(c->position.z, 5);
    EXPECT_EQ(c->target.z, -100);
    EXPECT_EQ(c->rotation.y, 0);
    EXPECT_EQ(c->fov, 90);
    EXPECT_EQ(c->aspect, 4.0f / 3.0f);
    EXPECT_FLOAT_EQ(c->near, 0.1f);
    EXPECT_EQ(c->far, 500);

    // Channels go to the fields in order; the aspect never follows them.
    float ch[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 60, 0.5f, 80};
    Camera* d = const_cast<Camera*>(c);
    camera_from_channels(d, ch);
    EXPECT_EQ(d->position.y, 2);
    EXPECT_EQ(d->rotation.x, 4);
    EXPECT_EQ(d->rotation.z, 6);
    EXPECT_EQ(d->target.x, 7);
    EXPECT_EQ(d->fov, 60);
    EXPECT_EQ(d->aspect, 4.0f / 3.0f);
    EXPECT_EQ(d->near, 0.5f);
    EXPECT_EQ(d->far, 80);
    display_aspect = 16.0f / 9.0f;
}

TEST(ObjectModes, KeywordsMatchExactlyInTableOrder) {
    EXPECT_EQ(object_render_mode_find("Wireframe"), 1);
    EXPECT_EQ(object_render_mode_find("Color"), 2);
    EXPECT_EQ(object_render_mode_find("Flat"), 3);
    EXPECT_EQ(object_render_mode_find("Shaded"), 4);
    EXPECT_EQ(object_render_mode_find("Texture"), 5);
    EXPECT_EQ(object_render_mode_find("Environment"), 6);
    EXPECT_EQ(object_render_mode_find("Cell"), 7);
    EXPECT_EQ(object_render_mode_find("wireframe"), 0);
    EXPECT_EQ(object_render_mode_find("Color "), 0);
    EXPECT_EQ(object_render_mode_find(""), 0);
}

TEST(ObjectModes, BuiltFractionRunsFromStartToEndValue) {
    Section s;
    s.duration = 4;
    s.params[5] = 0;
    s.params[6] = 1;
    EXPECT_EQ(object_built_fraction(s), 0);
    s.elapsed = 2;
    EXPECT_EQ(object_built_fraction(s), 0.5f);
    s.elapsed = 4;
    EXPECT_EQ(object_built_fraction(s), 1);
    s.params[5] = 1;
    s.params[6] = 0.5f;
    s.elapsed = 1;
    EXPECT_EQ(object_built_fraction(s), 0.875f);
    EXPECT_EQ(object_line_width(3), 3);
    EXPECT_EQ(object_line_width(0), 1);
    EXPECT_EQ(object_line_width(-2), 1);
}

TEST_F(ObjectInit, ObjectRefusesMissingValuesBeforeLoading) {
    EXPECT_EQ(init(object_init), "object: three strings needed");
    add_strings({"wireframe", "", "m.3ds"});
    EXPECT_EQ(init(object_init), "object: unknown render mode");
    section.strings[0] = "Environment";
    EXPECT_EQ(init(object_init), "object: four strings needed");
    section.strings[0] = "Cell";
    EXPECT_EQ(init(object_init), "object: four strings needed");
    section.strings[0] = "Color";
    add_params({1, 0, 1, 1, 1, 0});
    EXPECT_EQ(init(object_init), "object: seven floats needed");
    add_params({1});
    add_spline(9);
    add_spline(6);
    EXPECT_EQ(init(object_init), "object: spline 1 has 6 channels, 9 needed");
    splines[1]->channels = 9;
    TempDir dir;
    ScopedChdir here(dir.path);
    EXPECT_EQ(init(object_init), "3DS: file 'm.3ds' not found\n");
    write_file(dir.file("models/m.3ds"), "not a 3DS file");
    section.strings[1] = "models/";
    EXPECT_EQ(init(object_init), "3DS: error loading 'm.3ds'\n");
}

TEST_F(ObjectInit, ObjectMatrixRefusesMissingValuesBeforeLoading) {
    add_strings({"env.tga", "", "m.3ds"});
    EXPECT_EQ(init(object_matrix_init), "objectMatrix: four strings needed");
    add_strings({"Color"});
    add_params({3, 1, 0, 0});
    EXPECT_EQ(init(object_matrix_init), "objectMatrix: five floats needed");
    section.strings[3] = "Environment";
    section.param_count = 0;
    EXPECT_EQ(init(object_matrix_init), "objectMatrix: one float needed");
    add_params({3});
    add_spline(9);
    EXPECT_EQ(init(object_matrix_init), "objectMatrix: two splines needed");
    add_spline(7);
    EXPECT_EQ(init(object_matrix_init), "objectMatrix: spline 1 has 7 channels, 9 needed");
    splines[1]->channels = 9;
    TempDir dir;
    ScopedChdir here(dir.path);
    EXPECT_EQ(init(object_matrix_init), "3DS: file 'm.3ds' not found\n");
}

TEST(MeshLoad, ReadsThroughTheFileLayerAndNamesTheFileInErrors) {
    TempDir dir;
    ScopedChdir here(dir.path);
    write_file(dir.file("models/box.3ds"), mesh_write_3ds({}, {mesh_draft_cube("box", 2, "")}));
    Mesh* mesh = nullptr;
    EXPECT_EQ(fatal_message_of([&] { mesh = mesh_load("models/", "box.3ds"); }), "");
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->object_count, 1);
    EXPECT_EQ(mesh->objects[0].face_count, 12);
    EXPECT_FLOAT_EQ(mesh->objects[0].vertices[0].inverse_face_count, 0.5f);  // normals computed

    EXPECT_EQ(fatal_message_of([] { mesh_load("models", "box.3ds"); }), "3DS: file 'box.3ds' not found\n");
    std::string long_dir(300, 'd');
    EXPECT_EQ(fatal_message_of([&] { mesh_load(long_dir.c_str(), "box.3ds"); }),
              "3DS: file 'box.3ds' not found\n");
    std::string bytes = read_file(dir.file("models/box.3ds"));
    write_file(dir.file("models/cut.3ds"), bytes.substr(0, bytes.size() / 2));
    EXPECT_EQ(fatal_message_of([] { mesh_load("models/", "cut.3ds"); }), "3DS: error loading 'cut.3ds'\n");
}
