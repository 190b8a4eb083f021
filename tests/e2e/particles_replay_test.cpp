// Every random draw comes from the reseeded generator: two runs record the same frames.
#include "particles_support.h"

using namespace particles_e2e;

namespace {
void write_busy_demo(const Demo& demo) {
    write_tga(demo.dir.file("data/sky.tga"), 16, 16, solid_rgb(16, 16, 20, 30, 60));
    std::string shape;
    for (int i = 0; i < 8 * 8; ++i)
        shape += (i % 3 == 0) ? std::string("\xff\x80\x20", 3) : std::string(3, '\0');
    write_tga(demo.dir.file("data/shape.tga"), 8, 8, shape);
    demo.file("data/path.spl", "-3 -1 0\n0 1 -1\n3 -1 0\n");
    demo.file("data/bolt.spl", "-3 1 0 3 1.5 0 0.5 2 0.5 3\n-3 1 0 3 0.5 0 1 3 0.5 3\n");
    demo.file("data/yellow.spl", "1 1 0\n1 1 0\n");
    demo.file("data/pos.spl", "0 -1.5 0\n0 -1 0\n");
    demo.file("data/shape.spl", "0.3 20 5 0.1\n0.4 30 5 0.2\n");
    demo.file("data/white.spl", "1 1 1 1\n1 1 1 1\n");
    demo.script(std::string(CAMERA) +
                "[macroBox]\nstart 0\nend 1\nlayer 2\nparam 2 0 0.5\nstring data/sky.tga\n"
                "blend SRC_ALPHA ONE_MINUS_SRC_ALPHA\n"
                "[particleTex]\nstart 0\nend 1\nlayer 3\nstring data/shape.tga\nstring data/white.tga\n"
                "param 0.3 0.1 4 0 0 0 0.5 1\n"
                "[pathway]\nstart 0\nend 1\nlayer 4\nparam 20 0.1 0 1 0.5\nstring data/white.tga\n"
                "spline data/path.spl\n"
                "[ray]\nstart 0\nend 1\nlayer 5\nparam 0 12\nspline data/bolt.spl\nspline data/yellow.spl\n"
                "[particleMatrix]\nstart 0\nend 1\nlayer 6\nparam 30 1\nstring data/white.tga\n"
                "blend SRC_ALPHA ONE\nspline data/pos.spl\nspline data/shape.spl\nspline data/white.spl\n");
}
}  // namespace

TEST(ParticleReplay, TwoRunsRecordIdenticalFrames) {
    Demo first, second;
    write_busy_demo(first);
    write_busy_demo(second);
    PlayerResult a = first.run();
    PlayerResult b = second.run();
    ASSERT_EQ(a.exit_status, 0) << a.err;
    ASSERT_EQ(b.exit_status, 0) << b.err;
    EXPECT_EQ(a.err, "");

    const auto frames_a = first.frames(), frames_b = second.frames();
    ASSERT_GE(frames_a.size(), 5u);
    ASSERT_EQ(frames_a.size(), frames_b.size());
    for (size_t n = 0; n < frames_a.size(); ++n) EXPECT_TRUE(frames_a[n] == frames_b[n]) << "frame " << n;
    // The show moves: the jitter and the emission change every frame.
    for (size_t n = 1; n < 5; ++n) EXPECT_NE(frames_a[n], frames_a[n - 1]) << "frame " << n;
    // And draws something.
    EXPECT_LT(share_near(read_frame(first.dir.file("video/00000002.tga")), 0, 0, 0, 2), 0.9);
}
