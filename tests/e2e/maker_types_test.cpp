// Every section type in the maker's mode, one small demo each: paused at a time inside the
// section, what it shows after a reload, an edit, a broken script and its fix, a picture changed in
// place and a picture taken with other texture flags must be what a fresh session shows there.
#include <optional>
#include <string>

#include "player.h"
#include "mesh_writer.h"
#include "sound_capture.h"

namespace {

struct Edit {
    std::string from, to;  // the first `from` in the row's script becomes `to`
};

struct TypeRow {
    const char* type;    // the section type, which names the test
    std::string script;  // sections after the loading screen's (a loading section replaces it)
    Edit change;         // a parameter changed, which shows in the picture
    std::string picture = "data/quad.tga";  // a picture the row shows, to change in place ("": none)
    Edit flags = {};       // a change that takes a picture with other texture flags ("": none)
    std::string at = "2";  // a time inside the section, in seconds
};

#define SPAN "start 0\nend 4\n"
#define CAMERA "[camera]\n" SPAN "layer 0\n"
#define BACK "[background]\n" SPAN "layer 0\nstring data/quad.tga\n"

const TypeRow rows[] = {
    {"loading",
     "[loading]\n" SPAN
     "layer 0\nparam 1 0.7 0.2 0.9\nstring data/loading_back.tga\nstring data/loading_front.tga\n",
     {"param 1 0.7 0.2 0.9", "param 0.2 0.7 1 0.9"},
     "data/loading_front.tga"},
    {"efxBlackWhite",
     BACK "[efxBlackWhite]\n" SPAN "layer 1\nparam 0.5 1\n",
     {"param 0.5 1", "param 0.1 0.3"}},
    {"efxColor",
     "[efxColor]\n" SPAN "layer 0\nparam 1 1 1 0.5\n[background]\n" SPAN
     "layer 1\nblend SRC_ALPHA ONE_MINUS_SRC_ALPHA\nstring data/quad.tga\n",
     {"param 1 1 1 0.5", "param 1 1 1 0.2"}},
    {"efxDeform",
     BACK "[efxDeform]\n" SPAN "layer 1\nparam 3 8 8\nspline data/wobble.spl\n",
     {"param 3 8 8", "param 4 8 8"}},
    {"efxFader",
     BACK "[efxFader]\n" SPAN "layer 1\nparam 1 0 0 0.2  0 0 1 0.8\n",
     {"param 1 0 0 0.2", "param 0 1 0 0.2"}},
    {"efxInverse", BACK "[efxInverse]\nstart 0.5\nend 3.5\nlayer 1\n", {"start 0.5", "start 2.5"}},
    {"efxRadialBlur",
     BACK "[efxRadialBlur]\n" SPAN "layer 1\nparam 4  0.3 0.05  0.5 0.1  0.5 0.5  0.5 0.5\n",
     {"0.5 0.5  0.5 0.5", "0.2 0.8  0.2 0.8"}},
    {"efxRenderMesh",
     BACK "[efxRenderMesh]\n" SPAN "layer 1\nblend SRC_ALPHA ONE_MINUS_SRC_ALPHA\nparam 4  0.5 0.9  1\n",
     {"param 4 ", "param 2 "}},
    {"efxRepeat",
     BACK "[efxRepeat]\n" SPAN "layer 1\nparam 1 0.6 0  1 1 0 0.5  1 1 0 0.9\nstring efxFader\n",
     {"param 1 0.6 0  1 1 0 0.5", "param 1 0.6 0  0 1 1 0.5"},
     "data/quad.tga",
     {},
     "0.3"},
    {"ray",
     CAMERA "[ray]\nstart 1\nend 4\nlayer 1\nparam 1 8\nspline data/bolt.spl\nspline data/bolt_colour.spl\n",
     {"param 1 8", "param 0 8"},
     ""},
    {"background", BACK, {"string data/quad.tga", "string data/flare.tga"}},
    {"object",
     CAMERA "[object]\n" SPAN
            "layer 1\nstring Environment\nstring data/\nstring cube.3ds\nstring data/quad.tga\n"
            "param 1 0  1 1 1  1 1\nspline data/turn.spl\n",
     {"param 1 0  1 1 1  1 1", "param 1 0  1 1 1  0 1"},
     "data/quad.tga",
     {"string Environment", "string Cell"}},
    {"objectMatrix",
     CAMERA "[objectMatrix]\n" SPAN
            "layer 1\nstring data/quad.tga\nstring data/\nstring cube.3ds\nstring Environment\nparam 5\n"
            "spline data/row_base.spl\nspline data/row_step.spl\n",
     {"param 5", "param 3"}},
    {"camera",
     "[camera]\n" SPAN "layer 0\nspline data/eye.spl\n[object]\n" SPAN
     "layer 1\nstring Wireframe\nstring data/\nstring cube.3ds\nparam 2 0  1 1 0  1 1\nspline "
     "data/turn.spl\n",
     {"spline data/eye.spl", "spline data/eye_far.spl"},
     ""},
    {"image",
     CAMERA "[image]\n" SPAN "layer 1\nstring data/quad.tga\nspline data/image.spl\n",
     {"spline data/image.spl", "spline data/image_moved.spl"}},
    {"imageMatrix",
     CAMERA
     "[imageMatrix]\n" SPAN
     "layer 1\nparam 6 0\nstring data/quad.tga\nspline data/trail_base.spl\nspline data/trail_step.spl\n"
     "spline data/colour.spl\n",
     {"param 6 0", "param 4 0"},
     "data/quad.tga",
     {"param 6 0", "param 6 1"}},
    {"particleMatrix",
     CAMERA
     "[particleMatrix]\n" SPAN
     "layer 1\nblend SRC_ALPHA ONE\nparam 40 0\nstring data/flare.tga\nspline data/chain_position.spl\n"
     "spline data/chain_shape.spl\nspline data/colour.spl\n",
     {"param 40 0", "param 25 0"},
     "data/flare.tga",
     {"param 40 0", "param 40 1"}},
    {"macroBox",
     CAMERA "[macroBox]\n" SPAN "layer 1\nparam 2 0.6 0.6\nstring data/quad.tga\n",
     {"param 2 0.6 0.6", "param 1 0.6 0.6"}},
    {"particleTex",
     CAMERA "[particleTex]\n" SPAN
            "layer 1\nstring data/shape.tga\nstring data/flare.tga\nparam 0.3 0.1 3  0 0 0  1 1\n",
     {"param 0.3 0.1 3", "param 0.2 0.1 3"},
     "data/shape.tga"},
    {"pathway",
     CAMERA "[pathway]\n" SPAN
            "layer 1\nparam 30 0.3  1 0.5 0.2\nstring data/flare.tga\nspline data/path.spl\n",
     {"param 30 0.3  1 0.5 0.2", "param 30 0.3  0.2 0.5 1"},
     "data/flare.tga"},
    // The music draws nothing: its edits must leave the picture as a fresh session shows it, and
    // the new music, a second longer, plays where the old one has ended.
    {"sound",
     BACK "[sound]\n" SPAN "string data/music.wav\n",
     {"string data/music.wav", "string data/music_long.wav"}},
};

// The pictures, splines, model and music the rows name.
void write_media(const Demo& demo) {
    write_tga(demo.dir.file("data/quad.tga"), 16, 16, quadrant_rgb(16, 16, red, green, blue, yellow));
    write_tga(demo.dir.file("data/shape.tga"), 12, 12, quadrant_rgb(12, 12, white, black, cyan, black));
    demo.picture("data/flare.tga", 8, 8, Rgb{250, 200, 60});
    demo.file("data/cube.3ds", mesh_write_3ds({}, {mesh_draft_cube("cube", 1.5f, "")}));
    const std::pair<const char*, const char*> splines[] = {
        {"turn", "1 1 1 20 0 0 0 0 0\n1 1 1 20 180 0 0 0 0\n"},
        {"image", "0.2 0.2 0.2 0 0 0 0 0 0\n0.2 0.2 0.2 0 0 90 0 0 0\n"},
        {"image_moved", "0.1 0.3 0.2 0 0 45 1 0.5 0\n0.1 0.3 0.2 0 0 45 1 0.5 0\n"},
        {"trail_base", "0.1 0.1 0.1 0 0 0 -2 -1 0\n0.1 0.1 0.1 0 0 40 -2 -1 0\n"},
        {"trail_step", "0.85 0.85 0.85 0 0 25 0.8 0.4 0\n0.85 0.85 0.85 0 0 35 0.8 0.4 0\n"},
        {"colour", "1 0.3 0.3 1\n0.3 0.3 1 1\n"},
        {"row_base", "0.5 0.5 0.5 20 0 0 -3 0 0\n0.5 0.5 0.5 20 90 0 -3 0 0\n"},
        {"row_step", "1 1 1 0 20 0 1.5 0 0\n1 1 1 0 20 0 1.5 0 0\n"},
        {"eye", "0 1 6 0 0 0 0 0 0 70 0.1 100\n2 1 5 0 0 0 0 0 0 70 0.1 100\n"},
        {"eye_far", "0 0 9 0 0 0 0 0 0 60 0.1 100\n0 0 9 0 0 0 0 0 0 60 0.1 100\n"},
        {"chain_position", "0 -2 0\n0 -1.5 0\n"},
        {"chain_shape", "0.15 25 2 0.2\n0.15 35 2 0.2\n"},
        {"path", "-3 -1 0\n0 2 0\n3 -1 0\n"},
        {"bolt", "-3 0 0 3 0.5 0 0.6 2 0.5 2\n-3 0.5 0 3 0 0 0.6 2 0.5 2\n"},
        {"bolt_colour", "0.4 0.7 1\n1 0.7 0.4\n"},
        {"wobble", "1 1 40 20 0\n1 1 -40 30 0\n"},
    };
    for (const auto& [name, keys] : splines) demo.file(std::string("data/") + name + ".spl", keys);
    demo.file("data/music.wav", sweep_wav(44100, 2));
    demo.file("data/music_long.wav", sweep_wav(44100, 3));
}

// The row's script, with `edit` made, in place of the demo's last section (after the loading
// screen's, or as the loading section itself).
void put_script(Demo& demo, std::string script, const Edit& edit = {}) {
    if (!edit.from.empty()) {
        const size_t at = script.find(edit.from);
        EXPECT_NE(at, std::string::npos) << edit.from;
        if (at != std::string::npos) script.replace(at, edit.from.size(), edit.to);
    }
    if (script.rfind("[loading]", 0) == 0) {
        demo.sections = {script};
    } else {
        demo.sections.resize(1);
        demo.section(script);
    }
    demo.write();
}

class EveryType : public testing::TestWithParam<TypeRow> {};

}  // namespace

TEST_P(EveryType, ShowsWhatAFreshSessionShowsAfterReloadsAndEdits) {
    const TypeRow& row = GetParam();
    Demo demo;
    demo.set("record 0");
    std::optional<DiskAudio> audio;
    if (row.script.find("[sound]") != std::string::npos) {
        demo.set("sound 1");
        audio.emplace();
    }
    write_media(demo);
    put_script(demo, row.script);
    MakerSession player(demo);
    ASSERT_EQ(player.ask("pause"), "ok") << player.death();
    ASSERT_EQ(player.ask("seek " + row.at), "ok") << player.death();
    const TgaPicture first = player.screenshot("first.tga");
    ASSERT_EQ(player.death(), "");

    // A seek away and back shows the same frame again.
    ASSERT_EQ(player.ask("seek 0.1"), "ok");
    player.screenshot("away.tga");
    ASSERT_EQ(player.ask("seek " + row.at), "ok");
    EXPECT_SAME_PICTURE(player.screenshot("back.tga"), first) << "after a seek away and back";

    auto reload = [&](const std::string& what) {
        const std::string answer = player.ask("reload");
        EXPECT_EQ(answer, "ok") << what << "\n" << player.death(answer.empty() ? 2 : 0) << player.err();
        return answer == "ok";
    };
    ASSERT_TRUE(reload("unchanged"));
    EXPECT_SAME_PICTURE(player.screenshot("unchanged.tga"), first) << "after a reload of the same files";
    // What a fresh session shows there, and (when `shows`) not the first picture.
    auto fresh = [&](const std::string& after, bool shows = true) {
        const TgaPicture now = player.screenshot("now.tga");
        EXPECT_SAME_PICTURE(now, cold_still(demo, row.at)) << "after " << after;
        EXPECT_TRUE(!shows || pixels_differ(now, first) > 0) << after << " does not show";
    };

    put_script(demo, row.script, row.change);
    ASSERT_TRUE(reload("changed " + row.change.from));
    fresh(row.change.to, !audio);
    if (audio) {
        ASSERT_EQ(player.ask("seek 2.5"), "ok");
        ASSERT_EQ(player.ask("play"), "ok");
        ASSERT_TRUE(audio->wait_frames(22050));
        EXPECT_EQ(sweep_appearances(audio->capture(), 110250), 1) << "the reload kept the old music";
        ASSERT_EQ(player.ask("pause"), "ok");
        ASSERT_EQ(player.ask("seek " + row.at), "ok");
    }
    put_script(demo, row.script);

    // Flags first, while the picture waits unchanged in the texture pool.
    if (!row.flags.from.empty()) {
        put_script(demo, row.script, row.flags);
        ASSERT_TRUE(reload("flags by " + row.flags.to));
        fresh(row.flags.to);
        put_script(demo, row.script);
    }

    // A broken script is refused and the last demo stands; the picture changed meanwhile, the fix
    // shows the new picture, not the one the standing demo held.
    put_script(demo, row.script + "bogus 1\n");
    if (!row.picture.empty()) {  // every colour inverted past the 18-byte header
        std::string bytes = read_file(demo.dir.file(row.picture));
        for (size_t i = 18; i < bytes.size(); ++i) bytes[i] = static_cast<char>(~bytes[i]);
        demo.file(row.picture, bytes);
    }
    EXPECT_EQ(player.ask("reload").rfind("error ", 0), 0u) << player.death();
    put_script(demo, row.script);
    ASSERT_TRUE(reload("the fix"));
    fresh("a broken script and its fix" + (row.picture.empty() ? "" : ", " + row.picture + " changed"),
          !row.picture.empty());

    EXPECT_EQ(player.ask("quit"), "ok");
    EXPECT_EQ(player.wait_exit(), 0);
}

INSTANTIATE_TEST_SUITE_P(MakersMode, EveryType, testing::ValuesIn(rows),
                         [](const auto& info) { return std::string(info.param.type); });
