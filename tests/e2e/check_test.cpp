// tarvel --check on demos made in temporary directories, with no display at all: every problem of
// every script at once, one a line with its script and line, warnings for what the player takes
// in silence, and the exit status.
#include "player.h"

namespace {

PlayerResult check(const Demo& demo) {
    demo.write();
    return player_run(demo.dir.path,
                      {.args = {"--check"}, .env = {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}});
}

struct Row {
    const char* name;
    const char* script;   // row.tvl; with a loading section of its own it replaces the demo's
    const char* spare;    // a file of the demo that no script names, or ""
    const char* warning;  // the line expected before "0 errors, 1 warnings"
};

#define SPAN "start 0\nend 2\n"
#define LOADING "[loading]\nparam 1 1 1 1\nstring data/loading_back.tga\nstring data/loading_front.tga\n"

const Row ROWS[] = {
    {"NoEnd", "[efxInverse]\nstart 0\n", "",
     "./row.tvl:1: warning: the section has no 'end' and is never played"},
    {"EndBeforeStart", "[efxInverse]\nend 2\nstart 1\n", "",
     "./row.tvl:3: warning: 'end' comes before 'start': the duration stays 2 s, counted from 0"},
    {"SecondLoading", LOADING LOADING, "",
     "./row.tvl:5: warning: a second loading section (the first is at ./row.tvl line 1): "
     "only the one read last is shown"},
    {"OutsideTheWindow", "demo_start 3\n[efxInverse]\n" SPAN, "",
     "./row.tvl:2: warning: the section (0 to 2 s) ends before demo_start (3 s) and is never played"},
    {"UnusedFile", "", "data/spare.tga", "./data/spare.tga: warning: no script uses this file"},
    {"UnderTheCamera",
     "[camera]\n" SPAN "layer 5\n[image]\nstart 1\nend 3\nlayer 2\nstring data/sky.tga\nspline data/c9.spl\n",
     "",
     "./row.tvl:5: warning: drawn on layer 2, below every camera that plays with it (the lowest: layer 5 at "
     "./row.tvl line 1), so no camera's view applies to it"},
};

class Warning : public testing::TestWithParam<Row> {};

}  // namespace

// What the player accepts but is almost always a mistake is reported once, and is no error.
TEST_P(Warning, IsReportedOnceAndTheStatusStaysZero) {
    const Row& row = GetParam();
    Demo demo;
    const std::string script = row.script;
    // Only the files the row names: any other would be reported unused.
    if (script.find("data/sky.tga") != std::string::npos) demo.picture("data/sky.tga", 8, 8, blue);
    if (script.find("data/c9.spl") != std::string::npos)
        demo.file("data/c9.spl", "1 1 1 0 0 0 0 0 0\n1 1 1 0 0 0 0 0 1\n");
    if (*row.spare != '\0') demo.picture(row.spare, 8, 8, black);
    if (script.find("[loading]") != std::string::npos) demo.sections.clear();
    demo.file("row.tvl", row.script);
    PlayerResult r = check(demo);
    EXPECT_EQ(r.out, std::string(row.warning) + "\n0 errors, 1 warnings\n");
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(Check, Warning, testing::ValuesIn(ROWS),
                         [](const testing::TestParamInfo<Row>& info) { return info.param.name; });

// The messages are the player's; the lines those of the statements they are about (the header's
// for a count), and the lines after a header of an unknown type belong to no section.
TEST(Check, EveryMistakeOfEveryScriptAtOnceWithItsPlace) {
    Demo demo;
    demo.picture("data/sky.tga", 8, 8, blue);
    demo.file("data/c3.spl", "1 1 1\n2 2 2\n");
    demo.file("a.tvl",
              "\xEF\xBB\xBF"
              "demo_name Mistakes\n  fps 1\n[bogus]\nfoo 2\n[efxFader]\nstart 0\nend 1\nparam 1 1 1\n"
              "[image]\nstart 0\nend 2\nstring data/sky.tga\nspline data/c3.spl\n");
    demo.file(
        "b.tvl",
        "[background]\nstart 0\nend 1\nstring data/sky.tga  \n[sound]\nstart 0\nend 1\nstring data/c3.spl\n"
        "[background]\nstart 0\nend 1\nstring data/sky.tga ; the sky\n"
        "[background]\nstart 0\nend 1\nstring data/skt.tga\n[image]\nstart 0\nend 1\nstring data/sky.tga\n"
        "spline data/c4.spl\n[efxRepeat]\nstart 0\nend 1\nparam 1 1 0\nstring imagee\n");
    PlayerResult r = check(demo);
    EXPECT_EQ(
        r.out,
        "./a.tvl:2: error: Unknown variable\n"
        "./a.tvl:2: hint: the line begins with blanks: a key starts at the beginning of its line\n"
        "./a.tvl:3: error: Unknown section\n"
        "./a.tvl:5: error: Eight floats needed in fader\n"
        "./a.tvl:13: error: image: spline 0 has 3 channels, 9 needed\n"
        "./b.tvl:4: error: Error loading 'data/sky.tga  ': Couldn't open data/sky.tga  \n"
        "./b.tvl:4: hint: the name ends in blanks: 'data/sky.tga' exists without them\n"
        "./b.tvl:8: error: Unknown file format\n"
        "./b.tvl:12: warning: ';' after a value is part of the value (a comment takes a line of its own)\n"
        "./b.tvl:12: error: Error loading 'data/sky.tga ; the sky': Couldn't open data/sky.tga ; the sky\n"
        "./b.tvl:12: hint: the ';' and what follows it are part of the name: 'data/sky.tga' exists (a "
        "comment takes a line of its own)\n"
        "./b.tvl:16: error: Error loading 'data/skt.tga': Couldn't open data/skt.tga\n"
        "./b.tvl:16: hint: did you mean 'data/sky.tga'?\n"
        "./b.tvl:21: error: Spline: error loading 'data/c4.spl'\n"
        "./b.tvl:21: hint: did you mean 'data/c3.spl'?\n"
        "./b.tvl:26: error: Script: unknown section 'imagee' in repeat\n"
        "./b.tvl:26: hint: did you mean 'image'?\n"
        "10 errors, 1 warnings\n");
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "");
}

TEST(Check, TheShowcaseChecksClean) {
    Demo demo;
    demo.use_example("showcase", 1);
    PlayerResult r = check(demo);
    EXPECT_EQ(r.out, "0 errors, 0 warnings\n");
    EXPECT_EQ(r.exit_status, 0);
}
