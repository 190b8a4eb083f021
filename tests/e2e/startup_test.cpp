// Start-up failures the viewer sees as an error box: missing loading section, unusable sizes,
// and the loading and background sections' own checks.
#include <gtest/gtest.h>

#include "demo_builder.h"

namespace {

// Runs the demo and checks that it stopped with this fatal message, shown in the box too.
void expect_fatal(const DemoBuilder& demo, const std::string& message) {
    PlayerResult r = demo.run();
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, 255);
    EXPECT_EQ(r.err, "Error: " + message + "\n");
    EXPECT_NE(demo.dialog_log().find("--text=" + message + "\n"), std::string::npos) << demo.dialog_log();
    EXPECT_TRUE(demo.frames().empty());
}

}  // namespace

TEST(Startup, WithoutScriptsTheLoadingSectionIsMissing) {
    DemoBuilder demo;
    PlayerOptions options;
    options.path_prefix = demo.bin.path;
    // No demo.tvl at all: the player opens its window, then stops.
    PlayerResult r = player_run(demo.dir.path, options);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, 255);
    EXPECT_EQ(r.err, "Error: Loading section not found\n");
    EXPECT_NE(demo.dialog_log().find("--title=Error"), std::string::npos);
}

TEST(Startup, FrameLargerThanTheWindowIsRefused) {
    DemoBuilder demo;
    demo.set("gl_rttWidth 512");  // the window is 320 wide
    expect_fatal(demo, "Render-to-texture size 512x128 does not fit in the 320x240 window");
}

TEST(Startup, RecordingNeedsAPositiveRate) {
    DemoBuilder demo;
    demo.set("record_fps -25");
    demo.background("data/loading_back.tga", 0, 1);
    expect_fatal(demo, "Invalid record_fps -25");
}

TEST(Startup, LoadingSectionChecksItsValues) {
    DemoBuilder demo;
    demo.sections = {"[loading]\nparam 1 1 1\nstring a.tga\nstring b.tga\n"};
    expect_fatal(demo, "loading: four floats needed");
    demo.sections = {"[loading]\nparam 1 1 1 1\nstring data/loading_back.tga\n"};
    expect_fatal(demo, "loading: two strings needed");
    demo.sections = {"[loading]\nparam 1 1 1 1\nstring data/loading_back.tga\nstring data/none.tga\n"};
    PlayerResult r = demo.run();
    EXPECT_EQ(r.exit_status, 255);
    EXPECT_EQ(r.err.rfind("Error: Error loading 'data/none.tga': ", 0), 0u) << r.err;
}

TEST(Startup, BackgroundChecksItsValuesInOrder) {
    DemoBuilder demo;
    auto with = [&](const std::string& body) {
        demo.sections.resize(1);  // keep the loading section
        demo.section("[background]\nstart 0\nend 1\n" + body);
    };
    with("param 1\nstring a.tga\nstring b.tga\n");
    expect_fatal(demo, "background: no floats needed");
    with("string a.tga\nstring b.tga\n");
    expect_fatal(demo, "background: one string needed");
    write_file(demo.dir.file("s.txt"), "0 0\n1 1\n");  // splines load before the section checks them
    with("string data/loading_back.tga\nspline s.txt\n");
    expect_fatal(demo, "background: no splines needed");
}

TEST(Startup, DriverDescriptionGoesToStandardOutput) {
    DemoBuilder demo;
    demo.set("gl_info 1");
    demo.picture("data/red.tga", 8, 8, Rgb{255, 0, 0});
    demo.background("data/red.tga", 0, 0.01f);
    PlayerResult r = demo.run();
    EXPECT_EQ(r.exit_status, 0) << r.err;
    const std::string head = "\n// OpenGL driver information\n// ---------------------------\n\nvendor :\n";
    EXPECT_EQ(r.out.substr(0, head.size()), head);
    size_t renderer = r.out.find("\n\nrenderer :\n");
    size_t version = r.out.find("\n\nversion : \n");
    size_t standard = r.out.find("\n\nstandard extensions : \n");
    size_t window_system = r.out.find("\n\nARB extensions : \n");
    EXPECT_LT(renderer, version);
    EXPECT_LT(version, standard);
    EXPECT_LT(standard, window_system);
    ASSERT_NE(window_system, std::string::npos) << r.out;
    // On X the window system's extensions are GLX's.
    EXPECT_NE(r.out.find("GLX_", window_system), std::string::npos);
    EXPECT_NE(r.out.find("GL_ARB_", standard), std::string::npos);
}
