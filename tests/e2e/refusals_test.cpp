// Every refusal of every section type at load time, as the viewer sees it: the player stops with
// status 255, "Error: " and the message on standard error, and the same message in the error box.
// And values that would make a frame run away, which the player bounds so that the demo ends.
#include <algorithm>

#include "player.h"
#include "resources/mesh_writer.h"

namespace {

struct Row {
    const char* name;
    const char* script;   // written as row.tvl beside the demo's own script
    const char* message;  // ending in '*': the rest comes from a library and is not compared
};

#define H "start 0\nend 1\n"
#define BW "[efxBlackWhite]\n" H
#define OBJ "[object]\n" H "string Color\nstring data/\n"
#define OM "[objectMatrix]\n" H "string data/white.tga\nstring data/\nstring cube.3ds\n"
#define IM "[imageMatrix]\n" H "string data/white.tga\n"
#define PM "[particleMatrix]\n" H "string data/white.tga\n"
#define PM_SPLINES "spline data/c3.spl\nspline data/c4.spl\nspline data/c4.spl\n"
#define PT "[particleTex]\n" H
#define PATH "[pathway]\n" H
#define RAY "[ray]\n" H
#define BOX "[macroBox]\n" H
#define REPEAT "[efxRepeat]\n" H
// 10^30: script numbers are written out in digits.
#define BIG "1000000000000000000000000000000"

const Row REFUSALS[] = {
    {"NoLoadingSection", "", "Loading section not found"},
    {"RecordRate", "record_fps -25\n", "Invalid record_fps -25"},
    {"FrameLargerThanWindow", "gl_rttWidth 512\n",
     "Render-to-texture size 512x128 does not fit in the 320x240 window"},
    {"LoadingFloats", "[loading]\nparam 1 1 1\nstring data/white.tga\nstring data/white.tga\n",
     "loading: four floats needed"},
    {"LoadingStrings", "[loading]\nparam 1 1 1 1\nstring data/white.tga\n", "loading: two strings needed"},
    {"LoadingMissingImage", "[loading]\nparam 1 1 1 1\nstring data/white.tga\nstring data/none.tga\n",
     "Error loading 'data/none.tga': *"},
    {"BackgroundFloats", "[background]\n" H "param 1\nstring data/white.tga\n",
     "background: no floats needed"},
    {"BackgroundStrings", "[background]\n" H "string a.tga\nstring b.tga\n", "background: one string needed"},
    {"BackgroundSplines", "[background]\n" H "string data/white.tga\nspline data/c2.spl\n",
     "background: no splines needed"},
    {"BlendSource", "[background]\n" H "string data/white.tga\nblend ONE_PLUS ONE\n",
     "Invalid blend source factor (script './row.tvl', line 5)"},
    {"BlendDestination", "[background]\n" H "string data/white.tga\nblend ONE TWO\n",
     "Invalid blend destination factor (script './row.tvl', line 5)"},
    {"AlphaFunction", "[background]\n" H "string data/white.tga\nalpha SOMETIMES 0.5\n",
     "Invalid alpha function (script './row.tvl', line 5)"},
    {"MissingSpline", "[camera]\n" H "spline data/none.spl\n", "Spline: error loading 'data/none.spl'"},
    {"CameraFloats", "[camera]\n" H "param 1\n", "camera: no floats needed"},
    {"CameraStrings", "[camera]\n" H "string x\n", "camera: no strings needed"},
    {"CameraChannels", "[camera]\n" H "spline data/c9.spl\n", "camera: spline 0 has 9 channels, 12 needed"},
    {"ImageFloats", "[image]\n" H "param 1\nstring data/white.tga\nspline data/c9.spl\n",
     "image: no floats needed"},
    {"ImageStrings", "[image]\n" H "spline data/c9.spl\n", "image: one string needed"},
    {"ImageTwoStrings", "[image]\n" H "string a.tga\nstring b.tga\nspline data/c9.spl\n",
     "image: one string needed"},
    {"ImageSplines", "[image]\n" H "string data/white.tga\n", "image: one spline needed"},
    {"ImageChannels", "[image]\n" H "string data/white.tga\nspline data/c3.spl\n",
     "image: spline 0 has 3 channels, 9 needed"},
    {"ImageMatrixFloats", IM "param 1\nspline data/c9.spl\nspline data/c9.spl\nspline data/c4.spl\n",
     "imageMatrix: two floats needed"},
    {"ImageMatrixStrings", "[imageMatrix]\n" H "param 1 1\n", "imageMatrix: one string needed"},
    {"ImageMatrixSplines", IM "param 1 1\nspline data/c9.spl\nspline data/c9.spl\n",
     "imageMatrix: threee splines needed"},
    {"ImageMatrixChannels", IM "param 1 1\nspline data/c9.spl\nspline data/c9.spl\nspline data/c3.spl\n",
     "imageMatrix: spline 2 has 3 channels, 4 needed"},
    {"ImageMatrixModulation", IM "param 1 2\nspline data/c9.spl\nspline data/c9.spl\nspline data/c4.spl\n",
     "imageMatrix: invalid modulation"},
    {"ObjectStrings", OBJ "param 1 0 1 1 1 1 1\n", "object: three strings needed"},
    {"ObjectMode", "[object]\n" H "string wireframe\nstring data/\nstring cube.3ds\nparam 1 0 1 1 1 1 1\n",
     "object: unknown render mode"},
    {"ObjectEnvironmentMap",
     "[object]\n" H "string Environment\nstring data/\nstring cube.3ds\nparam 1 0 1 1 1 1 1\n",
     "object: four strings needed"},
    {"ObjectFloats", OBJ "string cube.3ds\nparam 1 0 1\n", "object: seven floats needed"},
    {"ObjectChannels", OBJ "string cube.3ds\nparam 1 0 1 1 1 1 1\nspline data/c3.spl\n",
     "object: spline 0 has 3 channels, 9 needed"},
    {"ObjectMissingModel", OBJ "string none.3ds\nparam 1 0 1 1 1 1 1\n", "3DS: file 'none.3ds' not found\n"},
    {"ObjectBrokenModel", OBJ "string broken.3ds\nparam 1 0 1 1 1 1 1\n",
     "3DS: error loading 'broken.3ds'\n"},
    {"ObjectMatrixStrings", "[objectMatrix]\n" H "string data/white.tga\nstring data/\nstring cube.3ds\n",
     "objectMatrix: four strings needed"},
    {"ObjectMatrixColourFloats", OM "string Color\nparam 3 1 1 1\nspline data/c9.spl\nspline data/c9.spl\n",
     "objectMatrix: five floats needed"},
    {"ObjectMatrixFloats", OM "string Texture\nspline data/c9.spl\nspline data/c9.spl\n",
     "objectMatrix: one float needed"},
    {"ObjectMatrixSplines", OM "string Color\nparam 3 1 1 1 0\nspline data/c9.spl\n",
     "objectMatrix: two splines needed"},
    {"ObjectMatrixChannels", OM "string Color\nparam 3 1 1 1 0\nspline data/c9.spl\nspline data/c3.spl\n",
     "objectMatrix: spline 1 has 3 channels, 9 needed"},
    {"ParticleMatrixSplines", PM "param 3 0\nspline data/c3.spl\nspline data/c4.spl\n",
     "particleMatrix: three splines needed"},
    {"ParticleMatrixChannels", PM "param 3 0\nspline data/c3.spl\nspline data/c3.spl\nspline data/c4.spl\n",
     "particleMatrix: spline 1 needs 4 channels"},
    {"ParticleMatrixCount", PM "param -2 0\n" PM_SPLINES, "particleMatrix: invalid particle count"},
    {"ParticleMatrixModulation", PM "param 3 2\n" PM_SPLINES, "particleMatrix: invalid modulation"},
    {"ParticleTexStrings", PT "string data/white.tga\nparam 1 1 1 0 0 0 1 1\n",
     "particleTex: two strings needed"},
    {"ParticleTexRange", PT "string data/white.tga\nstring data/white.tga\nparam 1 1 0.5 0 0 0 1 1\n",
     "particleTex: scatter range below 1"},
    {"ParticleTexMissingShape", PT "string data/none.tga\nstring data/white.tga\nparam 1 1 1 0 0 0 1 1\n",
     "Error loading 'data/none.tga': *"},
    {"PathwayFloats", PATH "param 10 1 1 1\nstring data/white.tga\nspline data/c3.spl\n",
     "pathway: five floats needed"},
    {"PathwayRate", PATH "param 0 1 1 1 1\nstring data/white.tga\nspline data/c3.spl\n",
     "pathway: rate must be greater than 0"},
    {"PathwayStrings", PATH "param 10 1 1 1 1\nspline data/c3.spl\n", "pathway: one string needed"},
    {"PathwaySplines", PATH "param 10 1 1 1 1\nstring data/white.tga\n", "pathway: one spline needed"},
    {"PathwayChannels", PATH "param 10 1 1 1 1\nstring data/white.tga\nspline data/c2.spl\n",
     "pathway: spline 0 needs 3 channels"},
    {"PathwayCount", PATH "param 10000000 1 1 1 1\nstring data/white.tga\nspline data/c3.spl\n",
     "pathway: too many particles"},
    {"RaySplines", RAY "param 1 4\nspline data/c10.spl\n", "ray: two splines needed"},
    {"RayFloats", RAY "param 1\nspline data/c10.spl\nspline data/c3.spl\n", "ray: two params needed"},
    {"RayChannelsFirst", RAY "param 1 4\nspline data/c9.spl\nspline data/c3.spl\n",
     "ray: spline 0 needs 10 channels"},
    {"RayChannelsSecond", RAY "param 1 4\nspline data/c10.spl\nspline data/c2.spl\n",
     "ray: spline 1 needs 3 channels"},
    {"RayNegativeSegments", RAY "param 1 -3\nspline data/c10.spl\nspline data/c3.spl\n",
     "ray: invalid segment count"},
    {"RayHugeSegments", RAY "param 1 100001\nspline data/c10.spl\nspline data/c3.spl\n",
     "ray: invalid segment count"},
    {"MacroBoxFloats", BOX "param 1 1\nstring data/white.tga\n", "macroBox: three params needed"},
    {"MacroBoxStrings", BOX "param 1 1 1\n", "macroBox: one string needed"},
    {"MacroBoxLayers", BOX "param 5000 1 1\nstring data/white.tga\n", "macroBox: too many layers"},
    {"MacroBoxWithoutCamera", BOX "param 1 1 1\nstring data/white.tga\n", "macroBox: no camera"},
    // A camera drawn after the box does not count.
    {"MacroBoxUnderTheCamera",
     "[camera]\nstart 0\nend 1\nlayer 5\n" BOX "param 1 1 1\nstring data/white.tga\n", "macroBox: no camera"},
    {"SoundStrings", "[sound]\n" H "string a.wav\nstring b.wav\n", "One string needed in sound"},
    {"SoundMissingFile", "[sound]\n" H "string data/missing.ogg\n", "File 'data/missing.ogg' not found"},
    {"SoundNotMusic", "[sound]\n" H "string data/c2.spl\n", "Unknown file format"},
    {"BlackWhiteFloats", BW "param {1}\n", "Two floats needed in black & white"},
    {"BlackWhiteTooManyFloats", BW "param {1, 1, 1}\n", "Two floats needed in black & white"},
    {"ColourFloats", "[efxColor]\n" H "param {1, 1}\n", "3 - 4 floats needed in color"},
    {"ColourTooManyFloats", "[efxColor]\n" H "param {1, 1, 1, 1, 1}\n", "3 - 4 floats needed in color"},
    {"FaderFloats", "[efxFader]\n" H "param {1, 1, 1, 1, 1, 1, 1}\n", "Eight floats needed in fader"},
    {"RadialBlurFloats", "[efxRadialBlur]\n" H "param {1, 1, 1, 1, 1, 1, 1, 1}\n",
     "Nine floats needed in radial blur"},
    {"DeformFloats", "[efxDeform]\n" H "param {4, 8}\n", "Three floats needed in deform effect"},
    {"DeformNoSteps", "[efxDeform]\n" H "param {4, 0, 8}\n", "1 to 255 mesh steps needed in deform effect"},
    {"DeformTooManySteps", "[efxDeform]\n" H "param {4, 8, 300}\n",
     "1 to 255 mesh steps needed in deform effect"},
    {"DeformOnePoint", "[efxDeform]\n" H "param {1, 8, 8}\n", "2 to *"},
    {"DeformTooManyPoints", "[efxDeform]\n" H "param {260, 8, 8}\n", "2 to *"},
    {"DeformChannels", "[efxDeform]\n" H "param {3, 8, 8}\nspline data/c4.spl\n",
     "Five channels needed in deform spline 'data/c4.spl'"},
    {"RepeatFloats", REPEAT "param {1, 1}\nstring efxFader\n", "3 float(s) needed in repeat"},
    {"RepeatStrings", REPEAT "param {1, 1, 0}\n", "1 string(s) needed in repeat"},
    {"RepeatUnknownType", REPEAT "param {1, 1, 0}\nstring efxfader\n",
     "Script: unknown section 'efxfader' in repeat"},
    // Exactly three params leave the inner section with none.
    {"RepeatInnerFloats", REPEAT "param {1, 1, 0}\nstring efxFader\n", "Eight floats needed in fader"},
};

// Values a frame would never finish with (copies, passes, layers and bolts without bound), or
// that would index outside a table; each run must end by itself, cleanly.
const Row CLAMPED[] = {
    {"ImageMatrixHugeCount",
     IM "param " BIG " 0\nspline data/c9.spl\nspline data/c9.spl\nspline data/c4.spl\n", ""},
    {"ImageMatrixNegativeCount",
     IM "param -" BIG " 1\nspline data/c9.spl\nspline data/c9.spl\nspline data/c4.spl\n", ""},
    {"ObjectMatrixHugeCount",
     OM "string Color\nparam " BIG " 1 1 1 0\nspline data/c9.spl\nspline data/c9.spl\n", ""},
    {"RayHugeBolts", RAY "param 0 4\nspline data/many_bolts.spl\nspline data/c3.spl\n", ""},
    {"RayHugeGlow", RAY "param 0 4\nspline data/wide_glow.spl\nspline data/c3.spl\n", ""},
    {"RadialBlurHugePasses",
     "[efxRadialBlur]\n" H "param {" BIG ", 0.5, 0.1, 0.5, 0.1, 0.5, 0.5, 0.5, 0.5}\n", ""},
    {"RenderMeshHugeMode", "[efxRenderMesh]\n" H "param {" BIG ", 1, 1, 0}\n", ""},
    {"MacroBoxNegativeLayers",
     "[camera]\n" H "layer 0\n[macroBox]\n" H "layer 1\nparam -" BIG " 1 1\nstring data/white.tga\n", ""},
    {"ParticleTexHugeRange", PT "string data/white.tga\nstring data/white.tga\nparam 1 1 " BIG " 0 0 0 1 1\n",
     ""},
    {"RepeatZeroPeriod", REPEAT "param {0, 0, 0}\nstring efxInverse\n", ""},
};

// A demo with every file the rows name, running `row.script` beside it.
PlayerResult run_row(const Demo& demo, const Row& row) {
    demo.picture("data/white.tga", 8, 8, Rgb{255, 255, 255});
    const std::string channels[] = {"2", "3", "4", "9", "10"};
    for (const std::string& n : channels) {
        std::string key;
        for (int i = 0; i < std::stoi(n); ++i) key += i == 0 ? "1" : " 1";
        demo.file("data/c" + n + ".spl", key + "\n" + key + "\n");
    }
    for (auto [name, key] :
         {std::pair{"many_bolts", "0 0 0 1 0 0 0.1 2 0 " BIG}, {"wide_glow", "0 0 0 1 0 0 0.1 " BIG " 0 1"}})
        demo.file(std::string("data/") + name + ".spl", std::string(key) + "\n" + key + "\n");
    const std::string cube = mesh_write_3ds({}, {mesh_draft_cube("cube", 1, "")});
    demo.file("data/cube.3ds", cube);
    demo.file("data/broken.3ds", cube.substr(0, cube.size() - 10));
    demo.file("row.tvl", row.script);
    return demo.run();
}

class Refusal : public testing::TestWithParam<Row> {};
class Clamped : public testing::TestWithParam<Row> {};

std::string row_name(const testing::TestParamInfo<Row>& info) {
    return info.param.name;
}

}  // namespace

TEST_P(Refusal, StopsTheLoadWithItsMessage) {
    const Row& row = GetParam();
    Demo demo;
    const std::string script = row.script;
    if (script.empty() || script.rfind("[loading]", 0) == 0) demo.sections.clear();
    // A variable the row sets is not set beside it too: the order scripts are read in is open.
    const std::string key = script.substr(0, script.find(' ')) + " ";
    std::erase_if(demo.settings, [&](const std::string& s) { return s.rfind(key, 0) == 0; });
    if (script.find("[sound]") != std::string::npos) std::erase(demo.settings, "sound 0");
    PlayerResult r = run_row(demo, row);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, 255);
    std::string message = row.message;
    if (message.back() == '*') {
        message.pop_back();
        EXPECT_EQ(r.err.rfind("Error: " + message, 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    } else {
        EXPECT_EQ(r.err, "Error: " + message + "\n");
    }
    EXPECT_NE(demo.dialog_log().find("--text=" + message), std::string::npos) << demo.dialog_log();
    if (message != "macroBox: no camera") {
        EXPECT_TRUE(demo.frames().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(EverySectionType, Refusal, testing::ValuesIn(REFUSALS), row_name);

TEST_P(Clamped, TheFramesEndAndTheDemoWithThem) {
    Demo demo;
    demo.set("record_fps 10");
    demo.set("demo_end 0.05");
    PlayerResult r = run_row(demo, GetParam());
    expect_clean_exit(r);
    EXPECT_EQ(demo.frames().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Values, Clamped, testing::ValuesIn(CLAMPED), row_name);
