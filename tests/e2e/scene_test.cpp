// Images, cameras and 3DS objects played by the real player with recording on: the recorded
// frames are compared with where the camera's projection puts things.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "demo_builder.h"
#include "resources/mesh_writer.h"

namespace {

const Rgb red{255, 0, 0};
const Rgb green{0, 255, 0};
const Rgb blue{0, 0, 255};
const Rgb white{255, 255, 255};
const Rgb black{0, 0, 0};

// The frame is 256 x 128 and the camera uses the 16:9 display aspect.
constexpr float WIDTH = 256, HEIGHT = 128, ASPECT = 16.0f / 9.0f;

// Pixel column and row of an eye-space point under a 90 degree field of view.
float column_of(float x, float depth) {
    return (1 + x / (depth * ASPECT)) / 2 * WIDTH;
}
float row_of(float y, float depth) {
    return (1 + y / depth) / 2 * HEIGHT;
}

std::string span(float start, float end, int layer) {
    return "start " + std::to_string(start) + "\nend " + std::to_string(end) + "\nlayer " +
           std::to_string(layer) + "\n";
}

// A camera section without spline: from (0, 0, 5) towards -z, 90 degrees.
std::string still_camera(float end) {
    return "[camera]\n" + span(0, end, 1);
}

// A spline file holding one transform key: scale, angles, translation.
void transform_key(DemoBuilder& demo, const std::string& path, const std::string& key) {
    write_file(demo.dir.file(path), key + "\n");
}

// Counts the pixels of a colour inside a column and row range (inclusive).
int count_colour(const TgaPicture& p, Rgb colour, int x0 = 0, int x1 = -1, int y0 = 0, int y1 = -1) {
    if (x1 < 0) x1 = p.width - 1;
    if (y1 < 0) y1 = p.height - 1;
    int n = 0;
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) n += p.at(x, y) == colour ? 1 : 0;
    }
    return n;
}

// Every lit pixel of the frame lies inside the given box (with one pixel of slack).
void expect_lit_only_inside(const TgaPicture& p, float x0, float x1, float y0, float y1) {
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            if (p.at(x, y) == black) continue;
            EXPECT_TRUE(x >= x0 - 1 && x <= x1 + 1 && y >= y0 - 1 && y <= y1 + 1)
                << "lit at " << x << "," << y;
        }
    }
}

// A box of columns around an object's centre column.
int x0_of_box(int x) {
    return x - 10;
}
int x1_of_box(int x) {
    return x + 10;
}

std::string cube_file(float edge = 2) {
    return mesh_write_3ds({}, {mesh_draft_cube("cube", edge, "")});
}

// An object section; `values` are its param lines, `extra` any further lines.
std::string object_section(const std::string& mode, const std::string& mesh, float end,
                           const std::string& params, const std::string& extra = "") {
    return "[object]\n" + span(0, end, 2) + "string " + mode + "\nstring data/\nstring " + mesh + "\nparam " +
           params + "\n" + extra;
}

}  // namespace

TEST(SceneImage, AQuadAtTexelSizeLandsWhereTheCameraProjectsIt) {
    DemoBuilder demo;
    demo.picture("data/quad.tga", 32, 16, quadrant_rgb(32, 16, red, green, blue, white));
    transform_key(demo, "data/far.spl", "1 1 1 0 0 0 0 0 -40");
    demo.section(still_camera(0.1f));
    demo.section("[image]\n" + span(0, 0.1f, 2) + "string data/quad.tga\nspline data/far.spl\n");
    PlayerResult r = demo.run();
    expect_clean_exit(r);

    TgaPicture f = demo.frame(1);
    ASSERT_EQ(f.width, 256);
    // 32 x 16 units at 45 units from the eye.
    float x0 = column_of(-16, 45), x1 = column_of(16, 45), y0 = row_of(-8, 45), y1 = row_of(8, 45);
    EXPECT_EQ(f.at(static_cast<int>(x0) + 4, static_cast<int>(y1) - 4), red);  // first image row on top
    EXPECT_EQ(f.at(static_cast<int>(x1) - 4, static_cast<int>(y1) - 4), green);
    EXPECT_EQ(f.at(static_cast<int>(x0) + 4, static_cast<int>(y0) + 4), blue);
    EXPECT_EQ(f.at(static_cast<int>(x1) - 4, static_cast<int>(y0) + 4), white);
    expect_lit_only_inside(f, x0, x1, y0, y1);
    int lit = f.width * f.height - count_colour(f, black);
    EXPECT_NEAR(lit, (x1 - x0) * (y1 - y0), 0.06 * (x1 - x0) * (y1 - y0));
}

TEST(SceneImage, ImageMatrixDrawsTintedCopiesUnderAccumulatedSteps) {
    DemoBuilder demo;
    demo.picture("data/dot.tga", 8, 8, white);
    // Base: 40 units away, left; step: 10 units to the right. Colour: red to blue over 1 s.
    transform_key(demo, "data/base.spl", "1 1 1 0 0 0 -12 0 -40");
    transform_key(demo, "data/step.spl", "1 1 1 0 0 0 10 0 0");
    write_file(demo.dir.file("data/tint.spl"), "1 0 0 1\n0 0 1 1\n");
    demo.set("record_fps 10");
    demo.section(still_camera(1));
    demo.section("[imageMatrix]\n" + span(0, 1, 2) +
                 "param 2.5 1\nstring data/dot.tga\nspline data/base.spl\nspline data/step.spl\n"
                 "spline data/tint.spl\n");
    PlayerResult r = demo.run();
    expect_clean_exit(r);

    // At 0.9 s: copies at x = -12, -2, 8 read the colour at 0, 0.36 and 0.72 s.
    TgaPicture f = demo.frame(9);
    int row = static_cast<int>(row_of(0, 45));
    const float times[3] = {0, 0.36f, 0.72f};
    for (int i = 0; i < 3; ++i) {
        int column = static_cast<int>(column_of(-12 + 10.0f * i, 45));
        Rgb c = f.at(column, row);
        // Two keys: the colour runs linearly from red to blue.
        EXPECT_NEAR(c[0], 255 * (1 - times[i]), 3) << "copy " << i;
        EXPECT_EQ(c[1], 0) << "copy " << i;
        EXPECT_NEAR(c[2], 255 * times[i], 3) << "copy " << i;
    }
    // No fourth copy.
    EXPECT_EQ(f.at(static_cast<int>(column_of(18, 45)), row), black);
}

TEST(SceneCamera, AFlightAlongItsSplineMovesTheObjectAcrossTheFrame) {
    DemoBuilder demo;
    write_file(demo.dir.file("data/cube.3ds"), cube_file());
    // Eye and target slide 2 units to the right over the second; a two-key spline is linear.
    write_file(demo.dir.file("data/flight.spl"),
               "0 0 5 0 0 0 0 0 -100 90 0.1 500\n2 0 5 0 0 0 2 0 -100 90 0.1 500\n");
    demo.set("record_fps 10");
    demo.section("[camera]\n" + span(0, 1, 1) + "spline data/flight.spl\n");
    demo.section(object_section("Color", "cube.3ds", 1, "1 0 0 0 1 1 1"));
    PlayerResult r = demo.run();
    expect_clean_exit(r);

    // The cube's front face is at 4 units from the eye; the eye is at x = 0, then 1.
    for (int frame : {0, 5}) {
        float eye = frame == 0 ? 0.0f : 1.0f;
        TgaPicture f = demo.frame(frame);
        float x0 = column_of(-1 - eye, 4), x1 = column_of(1 - eye, 4), y0 = row_of(-1, 4), y1 = row_of(1, 4);
        int covered = count_colour(f, blue);
        EXPECT_NEAR(covered, (x1 - x0) * (y1 - y0), 0.06 * (x1 - x0) * (y1 - y0)) << "frame " << frame;
        expect_lit_only_inside(f, x0, x1, y0, y1);
        EXPECT_EQ(f.at(static_cast<int>((x0 + x1) / 2), static_cast<int>((y0 + y1) / 2)), blue);
    }
}

TEST(SceneObject, HalfBuiltObjectsShowTheFirstHalfOfEachObjectsFaces) {
    DemoBuilder demo;
    // Two rows of 11 separate triangles each, in the plane z = 0 (file y = 0).
    auto row = [](const std::string& name, float z) {
        ObjectDraft o;
        o.name = name;
        for (int i = 0; i < 11; ++i) {
            float x = -4.4f + 0.8f * static_cast<float>(i);
            auto base = static_cast<uint16_t>(o.vertices.size());
            o.vertices.push_back({x, 0, z});
            o.vertices.push_back({x + 0.7f, 0, z});
            o.vertices.push_back({x, 0, z + 0.7f});
            o.faces.push_back({base, static_cast<uint16_t>(base + 1), static_cast<uint16_t>(base + 2)});
        }
        return o;
    };
    write_file(demo.dir.file("data/rows.3ds"), mesh_write_3ds({}, {row("upper", 1.5f), row("lower", -2)}));
    demo.set("record_fps 10");
    demo.section(still_camera(2));
    demo.section(object_section("Color", "rows.3ds", 2, "1 0 1 1 1 0 1"));
    PlayerResult r = demo.run();
    expect_clean_exit(r);

    auto triangle_pixel = [](int i, float z) {
        float x = -4.4f + 0.8f * static_cast<float>(i) + 0.2f;
        return std::pair<int, int>(static_cast<int>(column_of(x, 5)), static_cast<int>(row_of(z + 0.2f, 5)));
    };
    auto lit_triangles = [&](const TgaPicture& f, float z) {
        int lit = 0;
        for (int i = 0; i < 11; ++i) {
            auto [x, y] = triangle_pixel(i, z);
            if (f.at(x, y) == white) {
                EXPECT_EQ(lit, i) << "triangle " << i << " is lit after an unlit one";
                ++lit;
            }
        }
        return lit;
    };
    // At 0 s nothing; at 1 s (half) trunc(0.5 x 11) = 5 of each row; at 1.9 s trunc(0.95 x 11) = 10.
    EXPECT_EQ(count_colour(demo.frame(0), white), 0);
    TgaPicture half = demo.frame(10);
    EXPECT_EQ(lit_triangles(half, 1.5f), 5);
    EXPECT_EQ(lit_triangles(half, -2), 5);
    TgaPicture whole = demo.frame(19);
    EXPECT_EQ(lit_triangles(whole, 1.5f), 10);
    EXPECT_EQ(lit_triangles(whole, -2), 10);
    EXPECT_NEAR(count_colour(half, white) * 2.0, count_colour(whole, white),
                0.05 * count_colour(whole, white));
}

TEST(SceneObject, WireframeCullingHidesOnlyBackFacingEdges) {
    DemoBuilder demo;
    ObjectDraft o;
    o.name = "pair";
    // Left triangle faces the camera (counter-clockwise seen from +z in GL), the right one away.
    o.vertices = {{-4, 0, -1.5f}, {-1, 0, -1.5f}, {-4, 0, 1.5f}, {1, 0, -1.5f}, {1, 0, 1.5f}, {4, 0, -1.5f}};
    o.faces = {{0, 1, 2}, {3, 4, 5}};
    write_file(demo.dir.file("data/pair.3ds"), mesh_write_3ds({}, {o}));
    demo.set("record_fps 10");
    demo.section(still_camera(0.2f));
    demo.section(object_section("Wireframe", "pair.3ds", 0.2f, "3 1 0 1 0 1 1"));
    demo.section("[camera]\n" + span(0.3f, 0.5f, 1));
    demo.section("[object]\n" + span(0.3f, 0.5f, 2) +
                 "string Wireframe\nstring data/\nstring pair.3ds\nparam 3 0.5 0 1 0 1 1\n");
    PlayerResult r = demo.run();
    expect_clean_exit(r);

    auto left_edge = [](const TgaPicture& f) {
        return count_colour(f, green, static_cast<int>(column_of(-4, 5)) - 2,
                            static_cast<int>(column_of(-4, 5)) + 2, static_cast<int>(row_of(-1, 5)),
                            static_cast<int>(row_of(1, 5)));
    };
    auto right_edge = [](const TgaPicture& f) {
        return count_colour(f, green, static_cast<int>(column_of(1, 5)) - 2,
                            static_cast<int>(column_of(1, 5)) + 2, static_cast<int>(row_of(-1, 5)),
                            static_cast<int>(row_of(1, 5)));
    };
    TgaPicture culled = demo.frame(1);
    TgaPicture open = demo.frame(4);
    EXPECT_GT(left_edge(culled), 20);
    EXPECT_EQ(right_edge(culled), 0);
    EXPECT_GT(left_edge(open), 20);
    EXPECT_GT(right_edge(open), 20);
    // Lines only: the inside of the left triangle stays dark.
    EXPECT_EQ(open.at(static_cast<int>(column_of(-3.2f, 5)), static_cast<int>(row_of(-0.7f, 5))), black);
}

TEST(SceneObject, CellModeShadesFromTheRampsFirstRowAndOutlines) {
    DemoBuilder demo;
    write_file(demo.dir.file("data/cube.3ds"), cube_file());
    // The ramp's first row is green; were the 1D texture incomplete, the red current colour would show.
    std::string ramp = solid_rgb(16, 4, 0, 0, 255);
    for (int x = 0; x < 16; ++x)
        ramp[x * 3] = 0, ramp[x * 3 + 1] = static_cast<char>(255), ramp[x * 3 + 2] = 0;
    demo.picture("data/ramp.tga", 16, 4, ramp);
    transform_key(demo, "data/turn.spl", "1 1 1 20 30 0 0 0 0");
    demo.section(still_camera(0.1f));
    demo.section(object_section("Cell", "cube.3ds", 0.1f, "2 1 1 0 0 1 1",
                                "string data/ramp.tga\nspline data/turn.spl\n"));
    PlayerResult r = demo.run();
    expect_clean_exit(r);

    TgaPicture f = demo.frame(1);
    EXPECT_EQ(colour_at(f, 0.5f, 0.5f), green);
    EXPECT_GT(count_colour(f, green), 500);
    EXPECT_EQ(count_colour(f, blue), 0);
    // The outline pass draws front edges in the current colour.
    EXPECT_GT(count_colour(f, red), 50);
}

TEST(SceneObject, EveryModeDrawsAndLeavesTheDefaultStateBehind) {
    DemoBuilder demo;
    MaterialDraft skin{"skin"};
    skin.map_name = "skin.tga";
    demo.picture("data/skin.tga", 8, 8, Rgb{200, 100, 0});
    demo.picture("data/env.tga", 8, 8, Rgb{0, 120, 240});
    demo.picture("data/ramp.tga", 8, 1, Rgb{250, 250, 0});
    write_file(demo.dir.file("data/cube.3ds"), mesh_write_3ds({skin}, {mesh_draft_cube("cube", 1, "skin")}));
    const char* modes[] = {"Wireframe", "Color", "Flat", "Shaded", "Texture", "Environment", "Cell"};
    transform_key(demo, "data/turn.spl", "1 1 1 25 35 0 0 0 0");
    demo.section(still_camera(0.1f));
    for (int i = 0; i < 7; ++i) {
        std::string spline = "data/at" + std::to_string(i) + ".spl";
        // Turned by the inner spline, then moved into place by the outer one.
        transform_key(demo, spline, "1 1 1 0 0 0 " + std::to_string(-6 + 2 * i) + " 0 0");
        std::string extra = "spline " + spline + "\nspline data/turn.spl\n";
        if (i == 5) extra += "string data/env.tga\n";
        if (i == 6) extra += "string data/ramp.tga\n";
        demo.section(object_section(modes[i], "cube.3ds", 0.1f, "1 0 1 1 1 1 1", extra));
    }
    PlayerResult r = demo.run();
    // No GL error in any mode (it would be warned about on standard error).
    expect_clean_exit(r);

    TgaPicture f = demo.frame(1);
    auto at_object = [&](int i) { return f.at(static_cast<int>(column_of(-6.0f + 2 * i, 5)), 64); };
    for (int i = 0; i < 7; ++i) {
        int x = static_cast<int>(column_of(-6.0f + 2 * i, 5));
        int lit = (x1_of_box(x) - x0_of_box(x) + 1) * 41 -
                  count_colour(f, black, x0_of_box(x), x1_of_box(x), 44, 84);
        EXPECT_GT(lit, 30) << modes[i];
    }
    EXPECT_EQ(at_object(1), white);
    EXPECT_EQ(at_object(4), (Rgb{200, 100, 0}));
    EXPECT_EQ(at_object(5), (Rgb{0, 120, 240}));
    EXPECT_EQ(at_object(6), (Rgb{250, 250, 0}));
}

TEST(SceneErrors, ObjectAndObjectMatrixReportTheirProblems) {
    struct Case {
        std::string section;
        std::string message;
    };
    const Case cases[] = {
        {"[object]\nstart 0\nend 1\nstring wireframe\nstring data/\nstring cube.3ds\nparam 1 0 1 1 1 1 1\n",
         "object: unknown render mode"},
        {"[object]\nstart 0\nend 1\nstring Color\nstring data/\nparam 1 0 1 1 1 1 1\n",
         "object: three strings needed"},
        {"[object]\nstart 0\nend 1\nstring Color\nstring data/\nstring cube.3ds\nparam 1 0 1\n",
         "object: seven floats needed"},
        {"[object]\nstart 0\nend 1\nstring Color\nstring data/\nstring broken.3ds\nparam 1 0 1 1 1 1 1\n",
         "3DS: error loading 'broken.3ds'\n"},
        {"[objectMatrix]\nstart 0\nend 1\nstring data/env.tga\nstring data/\nstring cube.3ds\nstring Color\n"
         "param 3 1 1 1 0\nspline data/t.spl\n",
         "objectMatrix: two splines needed"},
        {"[image]\nstart 0\nend 1\nstring data/env.tga\nspline data/short.spl\n",
         "image: spline 0 has 3 channels, 9 needed"},
    };
    for (const Case& c : cases) {
        DemoBuilder demo;
        write_file(demo.dir.file("data/cube.3ds"), cube_file());
        std::string cube = cube_file();
        write_file(demo.dir.file("data/broken.3ds"), cube.substr(0, cube.size() - 10));
        write_file(demo.dir.file("data/t.spl"), "1 1 1 0 0 0 0 0 0\n");
        write_file(demo.dir.file("data/short.spl"), "1 1 1\n");
        demo.picture("data/env.tga", 4, 4, white);
        demo.section(c.section);
        PlayerResult r = demo.run();
        EXPECT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_status, 255) << c.message;
        EXPECT_EQ(r.err, "Error: " + c.message + "\n") << c.message;
        EXPECT_NE(demo.dialog_log().find(c.message), std::string::npos) << c.message;
    }
}

TEST(SceneObject, ColorWithItsOptionDrawsOverNearerGeometry) {
    DemoBuilder demo;
    write_file(demo.dir.file("data/cube.3ds"), cube_file());
    transform_key(demo, "data/near.spl", "1 1 1 0 0 0 0 0 1");
    transform_key(demo, "data/far.spl", "0.5 0.5 0.5 0 0 0 0 0 -2");
    demo.set("record_fps 10");
    // A red cube near the camera, then a smaller blue one behind it: hidden, then drawn over it.
    demo.section(still_camera(0.5f));
    demo.section(object_section("Color", "cube.3ds", 0.5f, "1 0 1 0 0 1 1", "spline data/near.spl\n"));
    demo.section("[object]\n" + span(0, 0.2f, 3) +
                 "string Color\nstring data/\nstring cube.3ds\nparam 1 0.5 0 0 1 1 1\nspline data/far.spl\n");
    demo.section("[object]\n" + span(0.3f, 0.5f, 3) +
                 "string Color\nstring data/\nstring cube.3ds\nparam 1 1 0 0 1 1 1\nspline data/far.spl\n");
    PlayerResult r = demo.run();
    expect_clean_exit(r);
    EXPECT_EQ(colour_at(demo.frame(1), 0.5f, 0.5f), red);
    EXPECT_EQ(colour_at(demo.frame(4), 0.5f, 0.5f), blue);
    // Around the smaller blue cube the red one still shows.
    EXPECT_GT(count_colour(demo.frame(4), red), 100);
}

TEST(SceneObjectMatrix, CopiesInColourAndEnvironmentAndNothingInOtherModes) {
    DemoBuilder demo;
    write_file(demo.dir.file("data/cube.3ds"), cube_file(1));
    demo.picture("data/env.tga", 8, 8, Rgb{0, 120, 240});
    // Base: 3 units left of centre, far enough to see; step: 2 units to the right.
    transform_key(demo, "data/base.spl", "1 1 1 0 0 0 -3 0 -5");
    transform_key(demo, "data/step.spl", "1 1 1 0 0 0 2 0 0");
    const char* modes[] = {"Color", "Environment", "Texture"};
    demo.set("record_fps 10");
    for (int i = 0; i < 3; ++i) {
        float start = 0.3f * static_cast<float>(i);
        demo.section("[camera]\n" + span(start, start + 0.2f, 1));
        demo.section("[objectMatrix]\n" + span(start, start + 0.2f, 2) +
                     "string data/env.tga\nstring data/\nstring cube.3ds\nstring " + modes[i] +
                     "\nparam 2.5 1 0 0 0\nspline data/base.spl\nspline data/step.spl\n");
    }
    PlayerResult r = demo.run();
    expect_clean_exit(r);

    // Copies at x = -3, -1 and 1 (2.5 rounds up to three), 10 units from the eye; none at 3.
    auto copy_colour = [](const TgaPicture& f, float x) {
        return f.at(static_cast<int>(column_of(x, 10)), static_cast<int>(row_of(0, 10)));
    };
    TgaPicture colour = demo.frame(1), environment = demo.frame(4), texture = demo.frame(7);
    for (float x : {-3.0f, -1.0f, 1.0f}) {
        EXPECT_EQ(copy_colour(colour, x), red) << x;
        EXPECT_EQ(copy_colour(environment, x), (Rgb{0, 120, 240})) << x;
    }
    EXPECT_EQ(copy_colour(colour, 3), black);
    EXPECT_EQ(copy_colour(environment, 3), black);
    EXPECT_EQ(count_colour(texture, black), texture.width * texture.height);
}
