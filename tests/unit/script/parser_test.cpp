#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "resources/files.h"
#include "script_fixture.h"

namespace {

const std::string worked_example[] = {
    "; settings",        "demo_name Intro",
    "gl_fullscreen 1",   "[image]",
    "start 2",           "end 10",
    "layer 5",           "blend SRC_ALPHA ONE_MINUS_SRC_ALPHA",
    "alpha GREATER 0.1", "param {0.5, 0.5, 1}",
    "float 2",           "string data/logo.jpg",
};

std::string joined(const std::string* lines, size_t count, const std::string& end) {
    std::string out;
    for (size_t i = 0; i < count; ++i) out += lines[i] + end;
    return out;
}

std::string repeated(const std::string& line, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += line;
    return out;
}

void expect_worked_example(const Section& s) {
    EXPECT_EQ(demo_name, "Intro");
    EXPECT_EQ(gl_fullscreen, 1);
    EXPECT_EQ(s.type, 14);
    EXPECT_STREQ(section_types[s.type]->name, "image");
    EXPECT_EQ(s.start, 2.0f);
    EXPECT_EQ(s.end, 10.0f);
    EXPECT_EQ(s.duration, 8.0f);
    EXPECT_EQ(s.layer, 5);
    EXPECT_TRUE(s.blend_on);
    EXPECT_EQ(s.blend_src, 0x0302);
    EXPECT_EQ(s.blend_dst, 0x0303);
    EXPECT_TRUE(s.alpha_on);
    EXPECT_EQ(s.alpha_func, 0x0204);
    EXPECT_FLOAT_EQ(s.alpha_ref_from, 0.1f);
    EXPECT_FLOAT_EQ(s.alpha_ref_to, 0.1f);
    ASSERT_EQ(s.param_count, 4);
    EXPECT_EQ(s.params[0], 0.5f);
    EXPECT_EQ(s.params[1], 0.5f);
    EXPECT_EQ(s.params[2], 1.0f);
    EXPECT_EQ(s.params[3], 2.0f);
    ASSERT_EQ(s.string_count, 1);
    EXPECT_EQ(s.strings[0], "data/logo.jpg");
    EXPECT_EQ(s.sync_count, 0);
    EXPECT_EQ(s.spline_count, 0);
    EXPECT_EQ(s.elapsed, 0.0f);
    EXPECT_EQ(s.data, nullptr);
}

}  // namespace

TEST_F(ScriptTest, WorkedExampleFieldByField) {
    write_file(dir.file("demo/intro.tvl"), joined(worked_example, 12, "\n"));
    ASSERT_EQ(fatal_message_of([] { script_parse("./demo/intro.tvl"); }), "");
    std::vector<const Section*> all = parsed_sections();
    ASSERT_EQ(all.size(), 1u);
    expect_worked_example(*all[0]);
}

TEST_F(ScriptTest, WorkedExampleWithCrLfLineEnds) {
    ASSERT_EQ(parse(joined(worked_example, 12, "\r\n")), "");
    std::vector<const Section*> all = parsed_sections();
    ASSERT_EQ(all.size(), 1u);
    expect_worked_example(*all[0]);  // no carriage return left in any value
}

TEST_F(ScriptTest, CrLfCountsTwoLinesAndCrAloneOne) {
    // The twelfth line of a CR LF file is numbered 23.
    std::string lines[12];
    std::copy(std::begin(worked_example), std::end(worked_example), lines);
    lines[11] = "bad 1";
    EXPECT_EQ(parse(joined(lines, 12, "\r\n")), "Unknown section variable (script './x.tvl', line 23)");
    config_reset_defaults();
    EXPECT_EQ(parse("[image]\rstart 1\r\rstart -1\r"), "Invalid start (script './x.tvl', line 4)");
    config_reset_defaults();
    EXPECT_EQ(parse("; a\n\n[image]\n\r\nstart -1"), "Invalid start (script './x.tvl', line 6)");
}

TEST_F(ScriptTest, EveryMessageWithItsLineNumber) {
    struct Case {
        std::string script;
        std::string message;
    };
    const std::string sec = "[image]\n";
    const Case cases[] = {
        {"start 2\n[image]\n", "Unknown variable (script './x.tvl', line 1)"},
        {"; c\n\n  fps 1\n", "Unknown variable (script './x.tvl', line 3)"},
        {"Fps 1\n", "Unknown variable (script './x.tvl', line 1)"},
        {sec + "\tstart 1\n", "Unknown section variable (script './x.tvl', line 2)"},
        {sec + "start 1\nwidth 3\n", "Unknown section variable (script './x.tvl', line 3)"},
        {sec + "Start 1\n", "Unknown section variable (script './x.tvl', line 2)"},
        {"[image]x\n", "Unknown section (script './x.tvl', line 1)"},
        {"\n[Image]\n", "Unknown section (script './x.tvl', line 2)"},
        {"[image\n", "Unknown section (script './x.tvl', line 1)"},
        {"[]\n", "Unknown section (script './x.tvl', line 1)"},
        {sec + "start -0.5\n", "Invalid start (script './x.tvl', line 2)"},
        {sec + "start 5\nend 5\n", "Invalid duration (script './x.tvl', line 3)"},
        {sec + "end -1\n", "Invalid duration (script './x.tvl', line 2)"},
        {sec + "end nan\n", "Invalid duration (script './x.tvl', line 2)"},
        {sec + repeated("sync 1\n", 33), "Too many syncs (script './x.tvl', line 34)"},
        {sec + repeated("param 1\n", 33), "Too many params (script './x.tvl', line 34)"},
        {sec + repeated("spline a.spl\n", 33), "Too many splines (script './x.tvl', line 34)"},
        {sec + repeated("string a\n", 33), "Too many strings (script './x.tvl', line 34)"},
        {sec + "blend FOO ONE\n", "Invalid blend source factor (script './x.tvl', line 2)"},
        {sec + "blend one ONE\n", "Invalid blend source factor (script './x.tvl', line 2)"},
        {sec + "blend\n", "Invalid blend source factor (script './x.tvl', line 2)"},
        {sec + "blend ONE\n", "Invalid blend destination factor (script './x.tvl', line 2)"},
        {sec + "blend ONE BAR\n", "Invalid blend destination factor (script './x.tvl', line 2)"},
        {sec + "alpha MORE 0.5\n", "Invalid alpha function (script './x.tvl', line 2)"},
        {sec + "alpha\n", "Invalid alpha function (script './x.tvl', line 2)"},
        {sec + "param " + repeated("1 ", 30) + "\nparam 1 2 3\n",
         "Script: too many floats in vector '1 2 3'"},
        {sec + "param {" + repeated("7,", 33) + "}\n",
         "Script: too many floats in vector '{" + repeated("7,", 33) + "}'"},
    };
    for (const Case& c : cases) {
        config_reset_defaults();
        EXPECT_EQ(parse(c.script), c.message) << c.script;
    }
    EXPECT_EQ(fatal_message_of([] { script_parse("./missing.tvl"); }),
              "Error opening script './missing.tvl'");
}

TEST_F(ScriptTest, ReadLineKeepsLineEndsAndSplitsLongLines) {
    write_file(dir.file("lines.txt"), "ab\r\ncd\n" + std::string(300, 'x') + "\nlast");
    ZzipFile file(file_open("./lines.txt"));
    ASSERT_NE(file, nullptr);
    char buffer[SCRIPT_LINE_SIZE];
    std::vector<std::string> lines;
    while (script_read_line(buffer, sizeof buffer, file.get()) != nullptr) lines.emplace_back(buffer);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "ab\r");
    EXPECT_EQ(lines[1], "\n");
    EXPECT_EQ(lines[2], "cd\n");
    EXPECT_EQ(lines[3], std::string(255, 'x'));
    EXPECT_EQ(lines[4], std::string(45, 'x') + "\n");
    EXPECT_EQ(lines[5], "last");
    EXPECT_EQ(script_read_line(buffer, sizeof buffer, file.get()), nullptr);  // the end stays the end
}

TEST_F(ScriptTest, SplitKeyAndValue) {
    char key[SCRIPT_NAME_SIZE];
    char value[SCRIPT_LINE_SIZE];
    script_split("key \t value  with ; blanks  \r\n", key, value);
    EXPECT_STREQ(key, "key");
    EXPECT_STREQ(value, "value  with ; blanks  ");
    script_split("lonely\n", key, value);
    EXPECT_STREQ(key, "lonely");
    EXPECT_STREQ(value, "");
    script_split("\tindented x\n", key, value);
    EXPECT_STREQ(key, "");
    EXPECT_STREQ(value, "indented x");
    std::string long_key = "f" + std::string(99, 'k') + " 1";
    script_split(long_key.c_str(), key, value);
    EXPECT_EQ(std::string(key), long_key.substr(0, SCRIPT_NAME_SIZE - 1));
    EXPECT_STREQ(value, "1");
}

TEST(ScriptVector, ReadsTheNumberCharactersOnly) {
    struct Case {
        const char* text;
        std::vector<float> values;
    };
    const Case cases[] = {
        {"{1, 2.5, -3}", {1, 2.5f, -3}},
        {"1 2 3", {1, 2, 3}},
        {"\t{ 4 ,,5}", {4, 5}},
        {"1e5", {1}},
        {"+1", {}},
        {"abc", {}},
        {"{}", {}},
        {"", {}},
        {"1,2;3", {1, 2}},
        {".5 -.25", {0.5f, -0.25f}},
        {"1-2", {1}},
    };
    for (const Case& c : cases) {
        float out[8];
        for (float& v : out) v = 99;
        int n = script_parse_vector(c.text, out, 8);
        ASSERT_EQ(n, static_cast<int>(c.values.size())) << c.text;
        for (int i = 0; i < n; ++i) EXPECT_EQ(out[i], c.values[i]) << c.text;
        EXPECT_EQ(out[n], 99) << c.text;  // nothing written past the values read
    }
}

TEST(ScriptVector, CapacityIsEnforcedBeforeStoring) {
    float out[3] = {0, 0, 99};
    EXPECT_EQ(fatal_message_of([&] { EXPECT_EQ(script_parse_vector("1 2", out, 2), 2); }), "");
    EXPECT_EQ(fatal_message_of([&] { script_parse_vector("{4, 5, 6}", out, 2); }),
              "Script: too many floats in vector '{4, 5, 6}'");
    EXPECT_EQ(out[2], 99);
    // A full vector followed by something that is not a number is fine.
    EXPECT_EQ(fatal_message_of([&] { EXPECT_EQ(script_parse_vector("4 5 }", out, 2), 2); }), "");
}

TEST_F(ScriptTest, ParamsAccumulateOverLinesUpToThirtyTwo) {
    const Section& s = parse_section("[image]\nparam 1 2\nparam {3}\nfloat 4, 5\nfx\nparam +6\n");
    ASSERT_EQ(s.param_count, 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(s.params[i], i + 1.0f);

    config_reset_defaults();
    const Section& full =
        parse_section("[image]\nparam " + repeated("1 ", 30) + "\nparam 2 3\n" + repeated("sync 4\n", 32) +
                      repeated("string s\n", 32) + repeated("spline c.spl\n", 32));
    EXPECT_EQ(full.param_count, 32);
    EXPECT_EQ(full.params[31], 3.0f);
    EXPECT_EQ(full.sync_count, 32);
    EXPECT_EQ(full.string_count, 32);
    EXPECT_EQ(full.spline_count, 32);

    // The limit is checked before the line is read, so even a line without numbers fails.
    config_reset_defaults();
    EXPECT_EQ(parse("[image]\nparam " + repeated("1 ", 32) + "\nparam x\n"),
              "Too many params (script './x.tvl', line 3)");
}

TEST_F(ScriptTest, UnknownKeysFallBackOnTheirFirstLetter) {
    const Section& s = parse_section(
        "[image]\nstart 1\nend 4\ncurve cam.spl 2\ncolor red\nfactor 3\nfx 4 5\nsize big one\nspline "
        "a.spl\n");
    ASSERT_EQ(s.spline_count, 3);
    EXPECT_EQ(s.spline_names[0], "cam.spl");
    EXPECT_EQ(s.spline_durations[0], 2.0f);
    EXPECT_EQ(s.spline_names[1], "red");
    EXPECT_EQ(s.spline_durations[1], 3.0f);
    EXPECT_EQ(s.spline_names[2], "a.spl");
    ASSERT_EQ(s.param_count, 3);
    EXPECT_EQ(s.params[0], 3.0f);
    EXPECT_EQ(s.params[2], 5.0f);
    ASSERT_EQ(s.string_count, 1);
    EXPECT_EQ(s.strings[0], "big one");

    config_reset_defaults();
    EXPECT_EQ(parse("[image]\ntexture x\n"), "Unknown section variable (script './x.tvl', line 2)");
}

TEST_F(ScriptTest, BlendNamesInEitherPosition) {
    const ScriptEnum expected[] = {
        {"ZERO", 0},
        {"ONE", 1},
        {"SRC_COLOR", 0x0300},
        {"ONE_MINUS_SRC_COLOR", 0x0301},
        {"DST_COLOR", 0x0306},
        {"ONE_MINUS_DST_COLOR", 0x0307},
        {"SRC_ALPHA", 0x0302},
        {"ONE_MINUS_SRC_ALPHA", 0x0303},
        {"DST_ALPHA", 0x0304},
        {"ONE_MINUS_DST_ALPHA", 0x0305},
        {"SRC_ALPHA_SATURATE", 0x0308},
    };
    std::string script;
    for (const ScriptEnum& e : expected) script += std::string("[image]\nblend ") + e.name + " ONE\n";
    for (const ScriptEnum& e : expected) script += std::string("[image]\nblend ZERO ") + e.name + "\n";
    ASSERT_EQ(parse(script), "");
    std::vector<const Section*> all = parsed_sections();
    ASSERT_EQ(all.size(), 22u);
    for (int i = 0; i < 11; ++i) {
        EXPECT_TRUE(all[i]->blend_on);
        EXPECT_EQ(all[i]->blend_src, expected[i].value) << expected[i].name;
        EXPECT_EQ(all[i]->blend_dst, 1);
        EXPECT_EQ(all[11 + i]->blend_src, 0);
        EXPECT_EQ(all[11 + i]->blend_dst, expected[i].value) << expected[i].name;
        EXPECT_EQ(script_lookup(expected[i].name, blend_factors, BLEND_FACTOR_COUNT), expected[i].value);
    }
    EXPECT_EQ(script_lookup("SRC_ALPHA ", blend_factors, BLEND_FACTOR_COUNT), -1);
}

TEST_F(ScriptTest, AlphaFunctionsAndReferences) {
    const ScriptEnum expected[] = {
        {"NEVER", 0x0200},   {"LESS", 0x0201},     {"EQUAL", 0x0202},  {"LEQUAL", 0x0203},
        {"GREATER", 0x0204}, {"NOTEQUAL", 0x0205}, {"GEQUAL", 0x0206}, {"ALWAYS", 0x0207},
    };
    std::string script;
    for (const ScriptEnum& e : expected) script += std::string("[image]\nalpha ") + e.name + " 0.25 0.75\n";
    script += "[image]\nalpha LESS 0.2\n";
    script += "[image]\nalpha LESS\n";
    script += "[image]\nalpha LESS 0.3 x\n";
    ASSERT_EQ(parse(script), "");
    std::vector<const Section*> all = parsed_sections();
    ASSERT_EQ(all.size(), 11u);
    for (int i = 0; i < 8; ++i) {
        EXPECT_TRUE(all[i]->alpha_on);
        EXPECT_EQ(all[i]->alpha_func, expected[i].value) << expected[i].name;
        EXPECT_EQ(all[i]->alpha_ref_from, 0.25f);
        EXPECT_EQ(all[i]->alpha_ref_to, 0.75f);
        EXPECT_FALSE(all[i]->blend_on);
    }
    EXPECT_FLOAT_EQ(all[8]->alpha_ref_from, 0.2f);
    EXPECT_FLOAT_EQ(all[8]->alpha_ref_to, 0.2f);
    EXPECT_EQ(all[9]->alpha_func, 0x0201);
    EXPECT_EQ(all[9]->alpha_ref_from, 0.0f);
    EXPECT_EQ(all[9]->alpha_ref_to, 0.0f);
    EXPECT_FLOAT_EQ(all[10]->alpha_ref_from, 0.3f);
    EXPECT_FLOAT_EQ(all[10]->alpha_ref_to, 0.3f);
}

TEST_F(ScriptTest, ValuesKeepTrailingBlanksAndSemicolons) {
    const Section& s = parse_section("[image]\nstring abc  \nstring a;b ; c\nstring\t\tx y\r\n");
    ASSERT_EQ(s.string_count, 3);
    EXPECT_EQ(s.strings[0], "abc  ");
    EXPECT_EQ(s.strings[1], "a;b ; c");
    EXPECT_EQ(s.strings[2], "x y");

    config_reset_defaults();
    ASSERT_EQ(parse("demo_name   My Demo  \n"), "");
    EXPECT_EQ(demo_name, "My Demo  ");
}

TEST_F(ScriptTest, EndBeforeStartAndSplineDurations) {
    const Section& s = parse_section(
        "[image]\nspline a.spl\nend 5\nstart 7\nspline b.spl\nspline c.spl 2.5\nspline d.spl x\n");
    EXPECT_EQ(s.start, 7.0f);
    EXPECT_EQ(s.end, 5.0f);
    EXPECT_EQ(s.duration, 5.0f);
    ASSERT_EQ(s.spline_count, 4);
    EXPECT_EQ(s.spline_durations[0], 0.0f);  // before any end line
    EXPECT_EQ(s.spline_durations[1], 5.0f);
    EXPECT_EQ(s.spline_durations[2], 2.5f);
    EXPECT_EQ(s.spline_durations[3], 5.0f);
    EXPECT_EQ(s.spline_names[3], "d.spl");
}

TEST_F(ScriptTest, SyncsLayersAndUnparsedNumbers) {
    const Section& s = parse_section("[image]\nlayer 3\nlayer x\nsync 1.5\nsync x\nsync 4\nstart x\n");
    EXPECT_EQ(s.layer, 3);
    ASSERT_EQ(s.sync_count, 3);
    EXPECT_EQ(s.syncs[0], 1.5f);
    EXPECT_EQ(s.syncs[1], 0.0f);
    EXPECT_EQ(s.syncs[2], 4.0f);
    EXPECT_EQ(s.start, 0.0f);
}

TEST_F(ScriptTest, ConfigurationValuesByType) {
    ASSERT_EQ(
        parse("fps 1\nrecord_fps 30.5\ndemo_name\ngl_width x\ngl_height 1e3\ntexture_detail 99999999999\n"
              "gl_bpp -99999999999\nrecord_fps x\n"),
        "");
    EXPECT_EQ(fps, 1);
    EXPECT_EQ(record_fps, 30.5f);
    EXPECT_EQ(demo_name, "");
    EXPECT_EQ(gl_width, 800);  // unchanged
    EXPECT_EQ(gl_height, 1);   // "%d" stops at the e
    EXPECT_EQ(texture_detail, INT_MAX);
    EXPECT_EQ(gl_bpp, INT_MIN);
    EXPECT_TRUE(parsed_sections().empty());
}

TEST_F(ScriptTest, HeadersStopAtBlanksAndSectionsGoToTheHead) {
    ASSERT_EQ(parse("[image] ; the logo\n[efxFader]\r\n[sound]\tx\n"), "");
    ASSERT_NE(section_list, nullptr);
    EXPECT_EQ(section_list->type, 20);  // the last one parsed is first
    std::vector<const Section*> all = parsed_sections();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0]->type, 14);
    EXPECT_EQ(all[1]->type, 4);
}

TEST_F(ScriptTest, TheCurrentSectionEndsWithItsFile) {
    ASSERT_EQ(parse("[image]\nlayer 2\n", "a.tvl"), "");
    EXPECT_EQ(parse("layer 3\n", "b.tvl"), "Unknown variable (script './b.tvl', line 1)");
}

TEST_F(ScriptTest, OverlongKeysValuesAndNames) {
    // A long key still falls back on its first letter; a long value is kept whole.
    std::string long_value(200, 'v');
    const Section& s = parse_section("[image]\nf" + std::string(99, 'k') + " 7\nstring " + long_value + "\n");
    ASSERT_EQ(s.param_count, 1);
    EXPECT_EQ(s.params[0], 7.0f);
    ASSERT_EQ(s.string_count, 1);
    EXPECT_EQ(s.strings[0], long_value);

    config_reset_defaults();
    EXPECT_EQ(parse("demo_name" + std::string(90, 'x') + " 1\n"),
              "Unknown variable (script './x.tvl', line 1)");
    config_reset_defaults();
    EXPECT_EQ(parse("[image" + std::string(90, 'x') + "]\n"), "Unknown section (script './x.tvl', line 1)");
    config_reset_defaults();
    EXPECT_EQ(parse("[image]\nblend " + std::string(80, 'A') + "ONE ONE\n"),
              "Invalid blend source factor (script './x.tvl', line 2)");
    config_reset_defaults();
    EXPECT_EQ(parse("[image]\nalpha " + std::string(70, 'L') + "LESS 0.5\n"),
              "Invalid alpha function (script './x.tvl', line 2)");
}

TEST_F(ScriptTest, LinesLongerThanTheLimitAreReported) {
    // 254 characters and the line end fit; the last line may fill all 255 bytes.
    std::string fits = "string " + std::string(247, 's');
    const Section& s = parse_section("[image]\n" + fits + "\n" + fits + "s");
    ASSERT_EQ(s.string_count, 2);
    EXPECT_EQ(s.strings[0].size(), 247u);
    EXPECT_EQ(s.strings[1].size(), 248u);

    // One more character and the rest would be read as a line of its own.
    config_reset_defaults();
    EXPECT_EQ(parse("[image]\n\n" + fits + "s\nstart 1\n"), "Line too long (script './x.tvl', line 3)");
    config_reset_defaults();
    EXPECT_EQ(parse("[image]\n" + std::string(300, ';') + "\n"), "Line too long (script './x.tvl', line 2)");
}
