// The viewer at a running player: Escape and closing the window end it, S saves screenshots, the
// debug overlay shows in the window but never in the recording, and the benchmark score follows
// the end of the demo.
#include <filesystem>
#include <future>

#include "player.h"
#include "resources/font.h"

TEST(Viewer, EscapeDuringLoadingEndsBeforeTheFirstFrameWithoutAScore) {
    Demo demo;
    demo.set("bench 1");
    // Enough sections, each loading its own copy of a picture, for loading to take a while.
    write_tga(demo.dir.file("data/blue.tga"), 256, 256, solid_rgb(256, 256, 0, 0, 255));
    for (int i = 0; i < 240; ++i) demo.background("data/blue.tga", 0, 10);
    demo.background("data/missing.tga", 0, 10);  // were loading finished, it would fail here
    Viewer v;
    auto player = std::async(std::launch::async, [&] { return demo.run(); });
    ASSERT_TRUE(wait_until([&] { return v.window_open(); }));
    // Loading handles events after every step; keep pressing until it ends.
    do v.key("Escape");
    while (player.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready);
    expect_clean_exit(player.get());
    EXPECT_TRUE(demo.frames().empty()) << demo.frames().size() << " frames recorded";
    EXPECT_EQ(demo.dialog_log(), "");
}

// A screenshot that does not fit (a file size limit stands in for a full disk) ends the run
// with the file's name and the reason, and leaves no cut picture behind.
TEST(Viewer, AScreenshotThatCannotBeWrittenWholeIsAnError) {
    Demo demo;
    demo.set("record 0");
    demo.picture("data/blue.tga", 8, 8, blue);
    demo.background("data/blue.tga", 0, 1000);
    PlayerResult r;
    {
        FileSizeLimit limit(65536);  // the 320 x 240 window takes 230 kB
        r = run_with_viewer(demo, [](Viewer& v) { v.key("s"); });
    }
    EXPECT_EQ(r.exit_status, 255);
    EXPECT_EQ(r.err, "Error: Cannot write the screenshot 'screen00.tga': File too large\n");
    EXPECT_FALSE(std::filesystem::exists(demo.dir.file("screen00.tga")));
}

// Frames are drawn at 0, dt, 2 dt, ... (dt = 1 / rate, summed in single precision) until the
// first frame past the end, and the clock advances after that frame too: 17 frames over
// 17 / 30 s make 30 frames a second, 30 x 10000 / 60 = 5000 points.
TEST(Viewer, TheBenchmarkScoreFollowsTheClosedWindowAndPrecedesAnErrorBox) {
    Demo demo;
    for (const char* s : {"bench 1", "record_fps 30", "gl_rttWidth 64", "gl_rttHeight 32"}) demo.set(s);
    demo.picture("data/grey.tga", 8, 8, Rgb{128, 128, 128});
    demo.background("data/grey.tga", 0, 0.5f);
    // The box says it is showing, then waits until the test lets it go.
    write_dialog_stub(demo.bin.path, "zenity", demo.bin.file("dialog.log"),
                      "touch '" + demo.bin.file("showing") + "'; i=0; while [ ! -e '" +
                          demo.bin.file("release") +
                          "' ] && [ $i -lt 400 ]; do sleep 0.05; i=$((i+1)); done");
    const std::string score = "Score: 5000.00";

    Viewer v;
    auto player = std::async(std::launch::async, [&] { return demo.run(); });
    const bool showing = wait_until([&] { return std::filesystem::exists(demo.bin.file("showing")); }, 25);
    const bool window_left = showing && !v.window_open();
    const std::string err_while_showing = read_file(demo.dir.file(".player-stderr"));
    write_file(demo.bin.file("release"), "");
    PlayerResult r = player.get();
    ASSERT_TRUE(showing) << r.err;
    EXPECT_TRUE(window_left);
    EXPECT_EQ(err_while_showing, "Benchmark: " + score + "\n");
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "Benchmark: " + score + "\n");
    EXPECT_EQ(demo.dialog_log(), "--info\n--no-markup\n--title=Benchmark\n--text=" + score + "\n");

    // The clock starts at demo_start, so the demo time is past 0 when the load fails: a score of
    // no frame over 2 s, before the error box.
    Demo failing;
    for (const char* s : {"bench 1", "demo_start 2"}) failing.set(s);
    failing.background("data/missing.tga", 0, 10);
    PlayerResult f = failing.run();
    EXPECT_EQ(f.exit_status, 255);
    EXPECT_EQ(f.err.rfind("Benchmark: Score: 0.00\nError: Error loading 'data/missing.tga': ", 0), 0u)
        << f.err;
    const std::string log = failing.dialog_log();
    EXPECT_LT(log.find("--title=Benchmark\n--text=Score: 0.00\n"), log.find("--title=Error\n")) << log;
}

// The window is 322 x 241 in 4:3, so the picture band is the whole window and one overlay unit is
// one pixel. With the statistics on, the screenshot shows them over the picture, and the recording
// never does. Frames and screenshots are compressed alike.
TEST(Overlay, ScreenshotsShowTheStatisticsInTheWindowAndTheRecordingNever) {
    Demo demo;
    // The generator's font in place of the demo's blank one.
    const std::string font_path = demo.dir.file("data/fonts/font.tga");
    ASSERT_EQ(std::system(("'" + std::string(TARVEL_TOOLS_DIR) + "/make_font' '" + font_path + "'").c_str()),
              0);
    const std::string font = read_file(font_path);
    ASSERT_EQ(font.size(), 18u + 256 * 256 * 3);
    for (const char* s : {"gl_width 322", "gl_height 241", "gl_panoramic 0", "gl_rttWidth 64",
                          "gl_rttHeight 32", "timing 1", "compress_tga 1"})
        demo.set(s);
    const Rgb grey{60, 60, 60};
    write_tga(demo.dir.file("data/quad.tga"), 16, 16, quadrant_rgb(16, 16, red, green, Rgb{0, 0, 200}, grey));
    demo.background("data/quad.tga", 0, 1000);
    // A picture laid over it would be added to it if the text left blending on.
    demo.picture("data/grey.tga", 8, 8, grey);
    demo.background("data/grey.tga", 0, 1000, 1);
    demo.file("data/still.spl",
              "1.5 -12.3 250 0 0 0 0 -3.7 1000.5 60 0.1 500\n1.5 -12.3 250 0 0 0 0 -3.7 1000.5 60 0.1 500\n");
    demo.section("[camera]\n" + span(0, 1000, 2) + "spline data/still.spl\n");
    const auto written_whole = [](const std::string& path) {
        TgaPicture p;
        return wait_until([&] { return tga_decode(read_file(path), p).empty(); });
    };
    expect_clean_exit(run_with_viewer(demo, [&](Viewer& v) {
        // Past frame 8 the frame rate (25) has been measured.
        ASSERT_TRUE(written_whole(demo.frame_path(10)));
        v.key("s");
        ASSERT_TRUE(written_whole(demo.dir.file("screen00.tga")));
        v.close();  // ends playback with status 0, as Escape does
    }));
    // One screenshot of the whole window, compressed as the frames are.
    const TgaPicture shot = read_picture(demo.dir.file("screen00.tga"));
    EXPECT_EQ(shot.type, 10);
    EXPECT_EQ(shot.width * 1000 + shot.height, 322241);
    EXPECT_COLOUR(colour_at(shot, 0.5f, 0.25f), grey, 2);
    EXPECT_FALSE(std::filesystem::exists(demo.dir.file("screen01.tga")));
    for (int i = 0; i <= 10; ++i) {
        const TgaPicture f = read_picture(demo.frame_path(i));
        EXPECT_EQ(f.type, 10) << "frame " << i;
        // Inside the edges that the picture's filtering blends with black.
        EXPECT_EQ(count_colour(f, grey, 0, 4, 59, 4, 27), 56 * 24) << "frame " << i;
    }
    // The frame and second figures depend on when the key arrived; the window shows twenty
    // characters a line.
    const std::pair<int, const char*> lines[] = {{0, "fps 25          "},
                                                 {1, "frame "},
                                                 {6, "loc x:   1.5 tgt x: 0.0"},
                                                 {7, "loc y: -12.3 tgt y: -3.7"},
                                                 {8, "loc z: 250.0 tgt z: 1000.5"}};
    // Each line's characters against the glyphs the font generator drew in their cells (an 18-byte
    // header, then 256 x 256 BGR pixels, top row first): no pixel lit in one and dark in the other.
    for (const auto& [line, text] : lines) {
        int wrong = 0;
        for (int i = 0; text[i] != '\0'; ++i) {
            const int cell =
                font_cell_of(font_charmap, FONT_CHARMAP_LENGTH, static_cast<unsigned char>(text[i]));
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    const int sx = i * 16 + x, sy = line * 16 + y;  // from the top
                    const size_t at = 18 + ((cell / 16 * 16 + y) * 256 + cell % 16 * 16 + x) * 3;
                    if (sx < shot.width && sy < shot.height)
                        wrong += (cell >= 0 && static_cast<uint8_t>(font[at]) > 127) !=
                                 (shot.at(sx, shot.height - 1 - sy)[0] > 127);
                }
        }
        EXPECT_EQ(wrong, 0) << text;
    }
}
