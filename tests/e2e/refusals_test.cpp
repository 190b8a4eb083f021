// Every refusal of every section type at load time, as the viewer sees it: the player stops with
// status 255, "Error: " and the message on standard error, and the same message in the error box,
// each naming the script and the line it is about.
// And values that would make a frame run away, which the player bounds so that the demo ends.
#include <algorithm>
#include <cstdio>

#include "mesh_writer.h"
#include "player.h"

namespace {

struct Row {
    const char* name;
    const char* script;        // written as row.tvl beside the demo's own script
    const char* message = "";  // ending in '*': the rest comes from a library and is not compared
    int line = 1;              // of row.tvl, named after the message; 0: no place
};

#define H "start 0\nend 1\n"
#define W "string data/white.tga\n"
#define S(channels) "spline data/c" #channels ".spl\n"
#define BG "[background]\n" H
#define CAM "[camera]\n" H
#define IMG "[image]\n" H
#define DEF "[efxDeform]\n" H
#define COL "[efxColor]\n" H
#define RB "[efxRadialBlur]\n" H
#define OP "param 1 0 1 1 1 1 1\n"
#define BW "[efxBlackWhite]\n" H
#define OBJ "[object]\n" H "string Color\nstring data/\n"
#define MODEL "string data/\nstring cube.3ds\n"
#define OM "[objectMatrix]\n" H W MODEL
#define IM "[imageMatrix]\n" H W
#define PM "[particleMatrix]\n" H W
#define PM_SPLINES S(3) S(4) S(4)
#define PT "[particleTex]\n" H
#define PATH "[pathway]\n" H
#define RAY "[ray]\n" H
#define BOX "[macroBox]\n" H
#define REPEAT "[efxRepeat]\n" H
// 10^30: script numbers are written out in digits.
#define BIG "1000000000000000000000000000000"

const Row REFUSALS[] = {
    {"NoLoadingSection", "", "Loading section not found", 0},
    {"NoFont", "; the font is removed\n",
     "Font 'data/fonts/font.tga' not found: every demo needs data/fonts/font.tga (make_font "
     "data/fonts/font.tga writes one)",
     0},
    {"RecordRate", "record_fps -25\n", "Invalid record_fps -25"},
    {"FrameLargerThanWindow", "gl_rttWidth 512\n",
     "Render-to-texture size 512x128 does not fit in the 320x240 window"},
    {"LoadingFloats", "[loading]\nparam 1 1 1\n" W W, "loading: four floats needed"},
    {"LoadingStrings", "[loading]\nparam 1 1 1 1\n" W, "loading: two strings needed"},
    {"LoadingMissingImage", "[loading]\nparam 1 1 1 1\n" W "string data/none.tga\n",
     "Error loading 'data/none.tga': *", 4},
    {"BackgroundFloats", BG "param 1\n" W, "background: no floats needed"},
    {"BackgroundStrings", BG "string a.tga\nstring b.tga\n", "background: one string needed"},
    {"BackgroundSplines", BG W S(2), "background: no splines needed"},
    {"MissingSpline", CAM "spline data/none.spl\n", "Spline: error loading 'data/none.spl'", 4},
    {"CameraFloats", CAM "param 1\n", "camera: no floats needed"},
    {"CameraStrings", CAM "string x\n", "camera: no strings needed"},
    {"CameraChannels", CAM S(9), "camera: spline 0 has 9 channels, 12 needed", 4},
    {"ImageFloats", IMG "param 1\n" W S(9), "image: no floats needed"},
    {"ImageStrings", IMG S(9), "image: one string needed"},
    {"ImageTwoStrings", IMG "string a.tga\nstring b.tga\n" S(9), "image: one string needed"},
    {"ImageSplines", IMG W, "image: one spline needed"},
    {"ImageMatrixFloats", IM "param 1\n" S(9) S(9) S(4), "imageMatrix: two floats needed"},
    {"ImageMatrixStrings", "[imageMatrix]\n" H "param 1 1\n", "imageMatrix: one string needed"},
    {"ImageMatrixSplines", IM "param 1 1\n" S(9) S(9), "imageMatrix: threee splines needed"},
    {"ImageMatrixChannels", IM "param 1 1\n" S(9) S(9) S(3), "imageMatrix: spline 2 has 3 channels, 4 needed",
     8},
    {"ImageMatrixModulation", IM "param 1 2\n" S(9) S(9) S(4), "imageMatrix: invalid modulation", 5},
    {"ObjectStrings", OBJ OP, "object: three strings needed"},
    {"ObjectMode", "[object]\n" H "string wireframe\n" MODEL OP, "object: unknown render mode", 4},
    {"ObjectEnvironmentMap", "[object]\n" H "string Environment\n" MODEL OP, "object: four strings needed"},
    {"ObjectFloats", OBJ "string cube.3ds\nparam 1 0 1\n", "object: seven floats needed"},
    {"ObjectChannels", OBJ "string cube.3ds\n" OP S(3), "object: spline 0 has 3 channels, 9 needed", 8},
    {"ObjectMissingModel", OBJ "string none.3ds\n" OP, "3DS: file 'none.3ds' not found\n", 6},
    {"ObjectBrokenModel", OBJ "string broken.3ds\n" OP, "3DS: error loading 'broken.3ds'\n", 6},
    {"ObjectMatrixStrings", OM, "objectMatrix: four strings needed"},
    {"ObjectMatrixColourFloats", OM "string Color\nparam 3 1 1 1\n" S(9) S(9),
     "objectMatrix: five floats needed"},
    {"ObjectMatrixFloats", OM "string Texture\n" S(9) S(9), "objectMatrix: one float needed"},
    {"ObjectMatrixSplines", OM "string Color\nparam 3 1 1 1 0\n" S(9), "objectMatrix: two splines needed"},
    {"ObjectMatrixChannels", OM "string Color\nparam 3 1 1 1 0\n" S(9) S(3),
     "objectMatrix: spline 1 has 3 channels, 9 needed", 10},
    {"ParticleMatrixSplines", PM "param 3 0\n" S(3) S(4), "particleMatrix: three splines needed"},
    {"ParticleMatrixChannels", PM "param 3 0\n" S(3) S(3) S(4), "particleMatrix: spline 1 needs 4 channels",
     7},
    {"ParticleMatrixCount", PM "param -2 0\n" PM_SPLINES, "particleMatrix: invalid particle count", 5},
    {"ParticleMatrixModulation", PM "param 3 2\n" PM_SPLINES, "particleMatrix: invalid modulation", 5},
    {"ParticleTexStrings", PT W "param 1 1 1 0 0 0 1 1\n", "particleTex: two strings needed"},
    {"ParticleTexRange", PT W W "param 1 1 0.5 0 0 0 1 1\n", "particleTex: scatter range below 1", 6},
    {"ParticleTexMissingShape", PT "string data/none.tga\n" W "param 1 1 1 0 0 0 1 1\n",
     "Error loading 'data/none.tga': *", 4},
    {"PathwayFloats", PATH "param 10 1 1 1\n" W S(3), "pathway: five floats needed"},
    {"PathwayRate", PATH "param 0 1 1 1 1\n" W S(3), "pathway: rate must be greater than 0", 4},
    {"PathwayStrings", PATH "param 10 1 1 1 1\n" S(3), "pathway: one string needed"},
    {"PathwaySplines", PATH "param 10 1 1 1 1\n" W, "pathway: one spline needed"},
    {"PathwayChannels", PATH "param 10 1 1 1 1\n" W S(2), "pathway: spline 0 needs 3 channels", 6},
    {"PathwayCount", PATH "param 10000000 1 1 1 1\n" W S(3), "pathway: too many particles", 4},
    {"RaySplines", RAY "param 1 4\n" S(10), "ray: two splines needed"},
    {"RayFloats", RAY "param 1\n" S(10) S(3), "ray: two params needed"},
    {"RayChannelsFirst", RAY "param 1 4\n" S(9) S(3), "ray: spline 0 needs 10 channels", 5},
    {"RayChannelsSecond", RAY "param 1 4\n" S(10) S(2), "ray: spline 1 needs 3 channels", 6},
    {"RayNegativeSegments", RAY "param 1 -3\n" S(10) S(3), "ray: invalid segment count", 4},
    {"RayHugeSegments", RAY "param 1 100001\n" S(10) S(3), "ray: invalid segment count", 4},
    {"MacroBoxFloats", BOX "param 1 1\n" W, "macroBox: three params needed"},
    {"MacroBoxStrings", BOX "param 1 1 1\n", "macroBox: one string needed"},
    {"MacroBoxLayers", BOX "param 5000 1 1\n" W, "macroBox: too many layers", 4},
    {"MacroBoxWithoutCamera", BOX "param 1 1 1\n" W, "macroBox: no camera", 0},
    // A camera drawn after the box does not count.
    {"MacroBoxUnderTheCamera", "[camera]\nstart 0\nend 1\nlayer 5\n" BOX "param 1 1 1\n" W,
     "macroBox: no camera", 0},
    {"SoundStrings", "[sound]\n" H "string a.wav\nstring b.wav\n", "One string needed in sound"},
    {"SoundMissingFile", "[sound]\n" H "string data/missing.ogg\n", "File 'data/missing.ogg' not found", 4},
    {"BlackWhiteFloats", BW "param {1}\n", "Two floats needed in black & white"},
    {"BlackWhiteTooManyFloats", BW "param {1, 1, 1}\n", "Two floats needed in black & white"},
    {"ColourFloats", COL "param {1, 1}\n", "3 - 4 floats needed in color"},
    {"ColourTooManyFloats", COL "param {1, 1, 1, 1, 1}\n", "3 - 4 floats needed in color"},
    {"FaderFloats", "[efxFader]\n" H "param {1, 1, 1, 1, 1, 1, 1}\n", "Eight floats needed in fader"},
    {"RadialBlurFloats", RB "param {1, 1, 1, 1, 1, 1, 1, 1}\n", "Nine floats needed in radial blur"},
    {"DeformFloats", DEF "param {4, 8}\n", "Three floats needed in deform effect"},
    {"DeformNoSteps", DEF "param {4, 0, 8}\n", "1 to 255 mesh steps needed in deform effect", 4},
    {"DeformTooManySteps", DEF "param {4, 8, 300}\n", "1 to 255 mesh steps needed in deform effect", 4},
    {"DeformOnePoint", DEF "param {1, 8, 8}\n", "2 to *", 4},
    {"DeformChannels", DEF "param {3, 8, 8}\n" S(4), "Five channels needed in deform spline 'data/c4.spl'",
     5},
    {"RepeatFloats", REPEAT "param {1, 1}\nstring efxFader\n", "3 float(s) needed in repeat"},
    {"RepeatStrings", REPEAT "param {1, 1, 0}\n", "1 string(s) needed in repeat"},
    {"RepeatUnknownType", REPEAT "param {1, 1, 0}\nstring efxFlicker\n",
     "Script: unknown section 'efxFlicker' in repeat", 5},
    // The inner section's statements are the outer one's, less the repeat's own.
    {"RepeatInnerMissingImage", REPEAT "param {1, 1, 0}\nstring background\nstring data/none.tga\n",
     "Error loading 'data/none.tga': *", 6},
};

// Values a frame would never finish with (glow passes, box layers) or that name no mode, where no
// unit-tested count holds them; each run must end by itself, cleanly.
const Row CLAMPED[] = {
    {"RayHugeGlow", RAY "param 0 4\nspline data/wide_glow.spl\n" S(3)},
    {"RenderMeshHugeMode", "[efxRenderMesh]\n" H "param {" BIG ", 1, 1, 0}\n"},
    {"MacroBoxNegativeLayers", CAM "layer 0\n[macroBox]\n" H "layer 1\nparam -" BIG " 1 1\n" W},
    {"ParticleTexHugeRange", PT W W "param 1 1 " BIG " 0 0 0 1 1\n"},
};

// A demo with every file the rows name, running `row.script` beside it.
PlayerResult run_row(const Demo& demo, const Row& row) {
    demo.picture("data/white.tga", 8, 8, white);
    for (int n : {2, 3, 4, 9, 10}) {
        std::string key = "1";
        for (int i = 1; i < n; ++i) key += " 1";
        demo.file("data/c" + std::to_string(n) + ".spl", key + "\n" + key + "\n");
    }
    demo.file("data/wide_glow.spl", "0 0 0 1 0 0 0.1 " BIG " 0 1\n0 0 0 1 0 0 0.1 " BIG " 0 1\n");
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
    if (std::string(row.name) == "NoFont") std::remove(demo.dir.file("data/fonts/font.tga").c_str());
    PlayerResult r = run_row(demo, row);
    EXPECT_EQ(r.exit_status, 255);
    std::string message = row.message;
    const std::string place =
        row.line > 0 ? " (script './row.tvl', line " + std::to_string(row.line) + ")" : std::string();
    if (message.back() == '*') {
        message.pop_back();
        EXPECT_EQ(r.err.rfind("Error: " + message, 0), 0u) << r.err;
        EXPECT_TRUE(r.err.ends_with(place + "\n")) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    } else {
        // The place goes before the line end a message may have.
        const size_t end = message.find_last_not_of('\n') + 1;
        message = message.substr(0, end) + place + message.substr(end);
        EXPECT_EQ(r.err, "Error: " + message + "\n");
    }
    EXPECT_NE(demo.dialog_log().find("--text=" + message), std::string::npos) << demo.dialog_log();
    EXPECT_TRUE(message == "macroBox: no camera" || demo.frames().empty());
}

INSTANTIATE_TEST_SUITE_P(EverySectionType, Refusal, testing::ValuesIn(REFUSALS), row_name);

TEST_P(Clamped, TheFramesEndAndTheDemoWithThem) {
    Demo demo;
    for (const char* s : {"record_fps 10", "demo_end 0.05"}) demo.set(s);
    PlayerResult r = run_row(demo, GetParam());
    expect_clean_exit(r);
    EXPECT_EQ(demo.frames().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Values, Clamped, testing::ValuesIn(CLAMPED), row_name);
