// The script reader: discovery (which files are scripts, the order they are parsed in, archives
// in the walk), the sections scripts make, every message, settings and vectors.
#include "script/parser.h"

#include "resources/text_lines.h"
#include "runtime/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "media_files.h"
#include "script_fixture.h"

namespace fs = std::filesystem;

namespace {

std::string repeated(const std::string& line, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += line;
    return out;
}

// Every section parsed, in order of parsing, as one line each: type, span, layer, then what is set.
std::string describe_parsed(const SectionList& sections) {
    std::ostringstream o;
    for (const Section* s : parsed_sections(sections)) {
        o << (o.tellp() > 0 ? " | " : "") << section_types[s->type]->name << " " << s->start << ".." << s->end
          << " (" << s->duration << ") layer " << s->layer;
        if (s->blend_on) o << " blend " << s->blend_src << "," << s->blend_dst;
        if (s->alpha_on)
            o << " alpha " << s->alpha_func << " " << s->alpha_ref_from << ".." << s->alpha_ref_to;
        for (int i = 0; i < s->param_count; ++i) o << (i == 0 ? " params " : " ") << s->params[i];
        for (int i = 0; i < s->sync_count; ++i) o << (i == 0 ? " syncs " : " ") << s->syncs[i];
        for (int i = 0; i < s->string_count; ++i) o << (i == 0 ? " strings [" : " [") << s->strings[i] << "]";
        for (int i = 0; i < s->spline_count; ++i)
            o << (i == 0 ? " splines " : " ") << s->spline_names[i] << ":" << s->spline_durations[i];
    }
    return o.str();
}

// A script that names itself through its one string.
std::string tagged(const std::string& id) {
    return "[image]\nstring " + id + "\n";
}

// The tags of the scripts parsed so far, in order of parsing or sorted.
std::vector<std::string> parsed_tags(const SectionList& sections, bool sorted = false) {
    std::vector<std::string> out;
    for (const Section* s : parsed_sections(sections))
        out.push_back(s->string_count > 0 ? s->strings[0] : "?");
    if (sorted) std::sort(out.begin(), out.end());
    return out;
}

// Packs `source` into `archive` and removes it, so that its scripts exist only in the archive.
void pack(const std::string& source, const std::string& archive) {
    ASSERT_TRUE(media::zip_directory(source, archive));
    fs::remove_all(source);
}

}  // namespace

TEST_F(ScriptTest, ScriptsAndTheSectionsTheyMake) {
    const std::string example =
        "; settings\ndemo_name Intro\n[image]\nstart 2\nend 10\nlayer 5\nblend ONE_MINUS_SRC_ALPHA ONE\n"
        "alpha GREATER 0.1\nparam {0.5, 0.5, 1}\nfloat 2\nstring data/logo.jpg\n";
    const std::string fits = "string " + std::string(247, 's');  // 254 characters and the line end
    const std::pair<std::string, std::string> cases[] = {
        // GL_ONE_MINUS_SRC_ALPHA is 771, GL_ONE 1 and GL_GREATER 516; names are whole words, not prefixes.
        {example,
         "image 2..10 (8) layer 5 blend 771,1 alpha 516 0.1..0.1 params 0.5 0.5 1 2 strings [data/logo.jpg]"},
        // Unknown keys fall back on their first letter, a key cut at 63 characters too; a spline
        // takes the duration so far unless it gives one.
        {"[image]\nstart 1\nend 4\ncurve cam.spl 2\ncolor red\nfactor 3\nfx 4 5\nsize big one\nparam {6}\nf" +
             std::string(99, 'k') + " 7\n",
         "image 1..4 (3) layer 0 params 3 4 5 6 7 strings [big one] splines cam.spl:2 red:3"},
        // An editor's byte-order mark before the first line is no part of it.
        {"\xEF\xBB\xBF[image]\nlayer 3\n", "image 0..0 (0) layer 3"},
        {"[image] ; the logo\nstring abc  \nstring a;b ; c\nstring\t\tx y\r\n",
         "image 0..0 (0) layer 0 strings [abc  ] [a;b ; c] [x y]"},
        // An end before the start is only refused when it comes after the start line.
        {"[image]\nspline a.spl\nend 5\nstart 7\nspline b.spl\nspline d.spl x\nlayer 3\nlayer x\nsync "
         "1.5\nsync x\n",
         "image 7..5 (5) layer 3 syncs 1.5 0 splines a.spl:0 b.spl:5 d.spl:5"},
        {"[image]\nalpha LESS 0.2\n[image]\nalpha LESS\n[efxFader]\r\nalpha LESS 0.3 x\n[sound]\tx\n",
         "image 0..0 (0) layer 0 alpha 513 0.2..0.2 | image 0..0 (0) layer 0 alpha 513 0..0 | "
         "efxFader 0..0 (0) layer 0 alpha 513 0.3..0.3 | sound 0..0 (0) layer 0"},
        {"[image]\n" + repeated("param 1 1\n", 16) + repeated("sync 2\n", 32),
         "image 0..0 (0) layer 0 params" + repeated(" 1", 32) + " syncs" + repeated(" 2", 32)},
        // A line of exactly the limit fits, and so does a last line without its end.
        {"[image]\n" + fits + "\n" + fits + "s",
         "image 0..0 (0) layer 0 strings [" + fits.substr(7) + "] [" + fits.substr(7) + "s]"},
    };
    for (const auto& [script, described] : cases) {
        reset();
        ASSERT_EQ(parse(script), "") << script;
        EXPECT_EQ(describe_parsed(sections), described) << script;
    }
}

TEST_F(ScriptTest, EveryMessageWithItsLineNumber) {
    const std::string sec = "[image]\n";
    const std::string too_long = "string " + std::string(248, 's');
    auto at = [](const std::string& what, int line) {
        return what + " (script './x.tvl', line " + std::to_string(line) + ")";
    };
    const std::string blanks = "Hint: the line begins with blanks: a key starts at the beginning of its line";
    // A slip of a known name: one edit in four letters.
    auto mean = [](const std::string& name) { return "\nHint: did you mean '" + name + "'?"; };
    const std::pair<std::string, std::string> cases[] = {
        {"start 2\n[image]\n", at("Unknown variable", 1)},
        {"; c\n\n  fps 1\n", at("Unknown variable", 3) + "\n" + blanks},
        {"[image]\n \n", at("Unknown section variable", 2) +
                             "\nHint: the line holds only blanks (an empty line must be empty)"},
        {"Fps 1\n", at("Unknown variable", 1) + mean("fps")},
        {"gl_widht 1\n", at("Unknown variable", 1) + mean("gl_width")},
        {"demo_name" + std::string(90, 'x') + " 1\n", at("Unknown variable", 1)},
        {sec + "\tstart 1\n", at("Unknown section variable", 2) + "\n" + blanks},
        {sec + "Start 1\n", at("Unknown section variable", 2) + mean("start")},
        {sec + "texture x\n", at("Unknown section variable", 2)},
        {"[image]x\n", at("Unknown section", 1) + mean("image")},
        {"\n[Image]\n", at("Unknown section", 2) + mean("image")},
        {"[image\n", at("Unknown section", 1) + mean("image")},
        {"[image" + std::string(90, 'x') + "]\n", at("Unknown section", 1)},
        {sec + "start -0.5\n", at("Invalid start", 2)},
        {sec + "start 5\nend 5\n", at("Invalid duration", 3)},
        {sec + "end nan\n", at("Invalid duration", 2)},
        {sec + repeated("sync 1\n", 33), at("Too many syncs", 34)},
        {sec + repeated("param 1\n", 33), at("Too many params", 34)},
        {sec + "param " + repeated("1 ", 32) + "\nparam x\n", at("Too many params", 3)},
        {sec + repeated("spline a.spl\n", 33), at("Too many splines", 34)},
        {sec + repeated("string a\n", 33), at("Too many strings", 34)},
        {sec + "blend SRC ONE\n", at("Invalid blend source factor", 2)},
        {sec + "blend " + std::string(80, 'A') + "ONE ONE\n", at("Invalid blend source factor", 2)},
        {sec + "blend one ONE\n", at("Invalid blend source factor", 2)},
        {sec + "blend ONE\n", at("Invalid blend destination factor", 2)},
        {sec + "alpha\n", at("Invalid alpha function", 2)},
        {sec + "param " + repeated("1 ", 30) + "\nparam 1 2 3\n",
         at("Script: too many floats in vector '1 2 3'", 3)},
        // A line ends at CR LF, a CR alone or a LF alone, and each counts one line.
        {"; a\r\n" + sec + "bad 1\r\n", at("Unknown section variable", 3)},
        {"[image]\rstart 1\r\rstart -1\r", at("Invalid start", 4)},
        // One character past the limit, and the rest would be read as a line of its own.
        {sec + "\n" + too_long + "\nstart 1\n", at("Line too long", 3)},
        {sec + std::string(300, ';') + "\n", at("Line too long", 2)},
        // 42000 comment lines of 202 bytes: past the 8 MB a script may hold.
        {repeated(";" + std::string(200, 'c') + "\n", 42000), "Script larger than 8 MB (script './x.tvl')"},
    };
    for (const auto& [script, message] : cases) {
        reset();
        EXPECT_EQ(parse(script), message) << script;
    }
    EXPECT_EQ(fatal_message_of([this] {
                  script_parse("./missing.tvl", sections, {section_types, settings});
              }),
              "Error opening script './missing.tvl'");
    // The current section ends with its file.
    reset();
    ASSERT_EQ(parse("[image]\nlayer 2\n", "a.tvl"), "");
    EXPECT_EQ(parse("layer 3\n", "b.tvl"), "Unknown variable (script './b.tvl', line 1)");
}

TEST_F(ScriptTest, ConfigurationValuesByType) {
    ASSERT_EQ(parse("fps 1\nrecord_fps 30.5\ndemo_name   My Demo  \ngl_width x\ngl_height 1e3\n"
                    "texture_detail 99999999999\ngl_bpp -99999999999\nrecord_fps x\n"),
              "");
    // gl_width keeps its default; "%d" stops at the e of gl_height.
    EXPECT_EQ(std::tuple(settings.fps, settings.record_fps, settings.demo_name, settings.gl_width,
                         settings.gl_height, settings.texture_detail, settings.gl_bpp),
              std::tuple(1, 30.5f, std::string("My Demo  "), 800, 1, INT_MAX, INT_MIN));
    EXPECT_EQ(sections.head, nullptr);
}

TEST(ScriptVector, ReadsNumberCharactersOnlyAndChecksCapacityBeforeStoring) {
    const std::pair<const char*, std::vector<float>> cases[] = {
        {"{1, 2.5, -3}", {1, 2.5f, -3}}, {"\t{ 4 ,,5}", {4, 5}}, {"+1", {}}, {"1e5", {1}}, {"1,2;3", {1, 2}},
        {".5 -.25", {0.5f, -0.25f}},     {"1-2", {1}},
    };
    for (const auto& [text, values] : cases) {
        float out[8];
        std::fill(std::begin(out), std::end(out), 99.0f);
        int n = text_read_vector(text, out, 8);
        EXPECT_EQ(std::vector<float>(out, out + n), values) << text;
        EXPECT_EQ(out[n], 99) << text;  // nothing written past the values read
    }
    float out[3] = {0, 0, 99};
    EXPECT_EQ(fatal_message_of([&] { text_read_vector("4 5 }", out, 2); }), "");
    EXPECT_EQ(fatal_message_of([&] { text_read_vector("{4, 5, 6}", out, 2); }),
              "Script: too many floats in vector '{4, 5, 6}'");
    EXPECT_EQ(out[2], 99);
}

using Discovery = ScriptTest;

TEST_F(Discovery, DepthFirstInListingOrder) {
    for (const char* s : {"a.tvl", "m/b.tvl", "m/n/c.tvl", "m/n/o/d.tvl", "m/e.tvl", "z/f.tvl", "h.tvl"})
        write_file(dir.file(s), tagged(s));
    // The order of a depth-first walk in listing order, from the standard library's own walk.
    std::vector<std::string> expected;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(dir.path))
        if (!e.is_directory()) expected.push_back(fs::relative(e.path(), dir.path).string());
    ASSERT_EQ(discover(), "");
    EXPECT_EQ(parsed_tags(sections), expected);
}

TEST_F(Discovery, ScriptsAreFilesWithTvlAnywhereInTheirName) {
    for (const char* name : {"a.tvl.bak", "b.TVL", "c.tvlx", "dtvl", "e.tv", "scenes.tvl/inner.tvl"})
        write_file(dir.file(name), tagged(name));
    // Neither a pipe nor a link loop stops the walk; a link to another directory of the demo is
    // walked again.
    ASSERT_EQ(mkfifo(dir.file("pipe.tvl").c_str(), 0600), 0);
    write_file(dir.file("loop/x.tvl"), tagged("x"));
    fs::create_directory_symlink("..", dir.file("loop/up"));
    fs::create_directory_symlink("../loop", dir.file("loop/self"));
    write_file(dir.file("other/y.tvl"), tagged("y"));
    fs::create_directory_symlink("../other", dir.file("loop/side"));
    // A link to a folder outside the demo is not followed (the maker's mode could not watch it).
    TempDir outside;
    write_file(outside.file("far.tvl"), tagged("far"));
    fs::create_directory_symlink(outside.path, dir.file("loop/out"));
    ASSERT_EQ(discover(), "");
    EXPECT_EQ(parsed_tags(sections, true),
              (std::vector<std::string>{"a.tvl.bak", "c.tvlx", "scenes.tvl/inner.tvl", "x", "y", "y"}));
}

TEST_F(Discovery, ArchivesOfAnyNameAreWalkedAndNamedInThePath) {
    for (const char* archive : {"data.dat", "up.ZIP", "bare", "pack.tvl"}) {
        write_file(dir.file("src/in.tvl"), tagged(archive));
        write_file(dir.file("src/sub.tvl/deep.tvl"), tagged(std::string(archive) + " deep"));
        pack(dir.file("src"), dir.file(archive));
    }
    ASSERT_EQ(discover(), "");
    EXPECT_EQ(parsed_tags(sections, true),
              (std::vector<std::string>{"bare", "bare deep", "data.dat", "data.dat deep", "pack.tvl",
                                        "pack.tvl deep", "up.ZIP", "up.ZIP deep"}));

    // The path named in a message runs through the archive and may pass 255 characters.
    reset();
    const std::string deep = std::string(250, 'd') + "/bad.tvl";
    write_file(dir.file("src/" + deep), "\nnot_a_variable 1\n");
    pack(dir.file("src"), dir.file("broken.zip"));
    EXPECT_EQ(discover(), "Unknown variable (script './broken.zip/" + deep + "', line 2)");
}
