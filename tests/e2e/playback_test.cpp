// Demos of pictures played with recording on: the recorded frames show what the viewer would have
// seen and the loading screen.
#include <filesystem>
#include <tuple>

#include "player.h"

// Frames of 150 x 90 pixels have 450-byte rows, which GL pads to 452 when it reads them, and the
// picture's rows of 15 pixels are as odd: rows read or sent with padding would shear the picture.
// A loading section in the time line shows the loading screen.
TEST(Playback, FramesShowThePictureTheRightWayUpAndALoadingSectionTheLoadingScreen) {
    Demo demo;
    for (const char* s : {"gl_rttWidth 150", "gl_rttHeight 90"}) demo.set(s);
    write_tga(demo.dir.file("data/quad.tga"), 15, 10, quadrant_rgb(15, 10, red, green, blue, white));
    demo.background("data/quad.tga", 0, 0.05f);
    demo.picture("data/back.tga", 8, 8, blue);
    demo.picture("data/front.tga", 8, 8, green);
    // The loading section counts in both totals but its type is never prepared, so the progress
    // stays at 3/4 (two types, two sections, three steps): the front picture is blended at 3/4
    // over the back one, and the bar, from 0.15 to 0.85 of the width, is filled up to 0.675 (at
    // this height its black outline covers the rest).
    demo.sections[0] =
        "[loading]\n" + span(0.07f, 0.1f, 2) + "param 1 1 1 1\nstring data/back.tga\nstring data/front.tga\n";
    expect_clean_exit(demo.run());
    const TgaPicture f = demo.frame(1);
    ASSERT_EQ(std::tuple(f.type, f.width, f.height), std::tuple(2, 150, 90)) << "uncompressed, 150 x 90";
    for (auto [x, y, colour] :
         {std::tuple{0.1f, 0.7f, red}, {0.6f, 0.7f, green}, {0.1f, 0.2f, blue}, {0.6f, 0.2f, white}})
        for (float fx : {x, x + 0.3f})
            for (float fy : {y, y + 0.1f}) EXPECT_EQ(colour_at(f, fx, fy), colour) << fx << "," << fy;
    const TgaPicture loading = demo.frame(2);
    const Rgb mix = colour_at(loading, 0.5f, 0.5f);
    EXPECT_COLOUR(mix, (Rgb{0, 191, 64}), 2);
    for (auto [fx, fy, want] :
         {std::tuple{0.3f, 0.19f, white}, {0.6f, 0.19f, white}, {0.8f, 0.19f, black}, {0.3f, 0.3f, mix}})
        EXPECT_EQ(colour_at(loading, fx, fy), want) << fx << "," << fy;
    EXPECT_EQ(colour_at(demo.frame(3), 0.5f, 0.5f), black) << "the frame at 0.12 s, past both";
}

// Without a video directory nothing is recorded, the demo ends all the same, and the reason is
// said once, not once a frame.
TEST(Playback, DriverDescriptionGoesToStandardOutput) {
    Demo demo;
    std::filesystem::remove(demo.dir.file("video"));
    demo.set("gl_info 1");
    demo.picture("data/red.tga", 8, 8, red);
    demo.background("data/red.tga", 0, 0.01f);
    PlayerResult r = demo.run();
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err,
              "Warning: record is set but there is no folder 'video' here: the frames are not written "
              "(create the folder to keep them)\n");
    // The headings in order, the window system's extensions last: on X they are GLX's.
    size_t at = 0;
    for (const char* heading :
         {"\n// OpenGL driver information\n// ---------------------------\n\nvendor :\n", "\n\nrenderer :\n",
          "\n\nversion : \n", "\n\nstandard extensions : \n", "GL_ARB_", "\n\nARB extensions : \n", "GLX_"})
        EXPECT_NE(at = r.out.find(heading, at), std::string::npos) << heading << "\n" << r.out;
    EXPECT_EQ(r.out.find("\n// OpenGL"), 0u);
    EXPECT_FALSE(std::filesystem::exists(demo.dir.file("video")));
}
