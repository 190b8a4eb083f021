// Every load-time refusal of the particle, path, ray and sky box sections, as the user sees it.
#include "particles_support.h"

using namespace particles_e2e;

namespace {
struct Refusal {
    const char* name;
    const char* sections;
    const char* message;
};

// Spline files every case may name.
void write_splines(const Demo& demo) {
    demo.file("data/c2.spl", "0 0\n1 1\n");
    demo.file("data/c3.spl", "0 0 0\n1 1 1\n");
    demo.file("data/c4.spl", "1 0 0 1\n1 0 0 1\n");
    demo.file("data/c9.spl", "0 0 0 1 1 1 0 1 0\n0 0 0 1 1 1 0 1 0\n");
    demo.file("data/c10.spl", "0 0 0 1 1 1 0 1 0 1\n0 0 0 1 1 1 0 1 0 1\n");
}

#define MATRIX "[particleMatrix]\nstart 0\nend 1\nlayer 2\nstring data/white.tga\n"
#define MATRIX_SPLINES "spline data/c3.spl\nspline data/c4.spl\nspline data/c4.spl\n"
#define TEX "[particleTex]\nstart 0\nend 1\nlayer 2\n"
#define PATH "[pathway]\nstart 0\nend 1\nlayer 2\n"
#define RAY "[ray]\nstart 0\nend 1\nlayer 2\n"
#define BOX "[macroBox]\nstart 0\nend 1\nlayer 2\n"
#define CAM "[camera]\nstart 0\nend 1\nlayer 1\n"

const Refusal REFUSALS[] = {
    {"MatrixModulation", MATRIX "param 3 2\n" MATRIX_SPLINES, "particleMatrix: invalid modulation"},
    {"MatrixSplines", MATRIX "param 3 0\nspline data/c3.spl\nspline data/c4.spl\n",
     "particleMatrix: three splines needed"},
    {"MatrixChannels", MATRIX "param 3 0\nspline data/c3.spl\nspline data/c3.spl\nspline data/c4.spl\n",
     "particleMatrix: spline 1 needs 4 channels"},
    {"MatrixCount", MATRIX "param -2 0\n" MATRIX_SPLINES, "particleMatrix: invalid particle count"},
    {"TexStrings", TEX "string data/white.tga\nparam 1 1 1 0 0 0 1 1\n", "particleTex: two strings needed"},
    {"TexRange", TEX "string data/white.tga\nstring data/white.tga\nparam 1 1 0.5 0 0 0 1 1\n",
     "particleTex: scatter range below 1"},
    {"TexRangeMissing", TEX "string data/white.tga\nstring data/white.tga\nparam 1 1\n",
     "particleTex: scatter range below 1"},
    {"PathFloats", PATH "param 10 1 1 1\nstring data/white.tga\nspline data/c3.spl\n",
     "pathway: five floats needed"},
    {"PathRate", PATH "param 0 1 1 1 1\nstring data/white.tga\nspline data/c3.spl\n",
     "pathway: rate must be greater than 0"},
    {"PathString", PATH "param 10 1 1 1 1\nspline data/c3.spl\n", "pathway: one string needed"},
    {"PathSpline", PATH "param 10 1 1 1 1\nstring data/white.tga\n", "pathway: one spline needed"},
    {"PathChannels", PATH "param 10 1 1 1 1\nstring data/white.tga\nspline data/c2.spl\n",
     "pathway: spline 0 needs 3 channels"},
    {"PathTooMany", PATH "param 10000000 1 1 1 1\nstring data/white.tga\nspline data/c3.spl\n",
     "pathway: too many particles"},
    {"RaySplinesFirst", RAY "param 1\nspline data/c10.spl\n", "ray: two splines needed"},
    {"RayParams", RAY "param 1\nspline data/c10.spl\nspline data/c3.spl\n", "ray: two params needed"},
    {"RayChannels0", RAY "param 1 4\nspline data/c9.spl\nspline data/c3.spl\n",
     "ray: spline 0 needs 10 channels"},
    {"RayChannels1", RAY "param 1 4\nspline data/c10.spl\nspline data/c2.spl\n",
     "ray: spline 1 needs 3 channels"},
    {"RaySegments", RAY "param 1 -3\nspline data/c10.spl\nspline data/c3.spl\n",
     "ray: invalid segment count"},
    {"BoxParams", BOX "param 1 1\nstring data/white.tga\n", "macroBox: three params needed"},
    {"BoxStrings", BOX "param 1 1 1\n", "macroBox: one string needed"},
    {"BoxLayers", BOX "param 5000 1 1\nstring data/white.tga\n", "macroBox: too many layers"},
    {"BoxWithoutCamera", BOX "param 1 1 1\nstring data/white.tga\n", "macroBox: no camera"},
    // A camera drawn after the box does not count.
    {"BoxUnderTheCamera", "[camera]\nstart 0\nend 1\nlayer 5\n" BOX "param 1 1 1\nstring data/white.tga\n",
     "macroBox: no camera"},
};

class ParticleRefusals : public testing::TestWithParam<Refusal> {};
}  // namespace

TEST_P(ParticleRefusals, EndTheProgramWithTheirMessage) {
    const Refusal& refusal = GetParam();
    Demo demo;
    write_splines(demo);
    demo.script(refusal.sections);
    PlayerResult r = demo.run();
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, 255);
    EXPECT_EQ(r.err, std::string("Error: ") + refusal.message + "\n");
    // No frame of the demo was drawn by a section refused at load time.
    if (std::string(refusal.message) != "macroBox: no camera") {
        EXPECT_TRUE(demo.frame(0).bytes.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Sections, ParticleRefusals, testing::ValuesIn(REFUSALS),
                         [](const testing::TestParamInfo<Refusal>& info) {
                             return std::string(info.param.name);
                         });
