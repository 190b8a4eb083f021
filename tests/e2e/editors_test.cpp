// The editor packages against the player: each grammar names every section type and setting the
// player knows, and Vim itself reads a script with its syntax as the syntax says.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "base/config.h"
#include "script/section.h"
#include "test_support.h"

TEST(Editors, GrammarsNameEveryTypeAndSetting) {
    // Each grammar file with the patterns that pick out its list of types and of settings.
    struct Grammar {
        const char* file;
        const char* types;
        const char* settings;
    };
    const Grammar grammars[] = {
        {"editors/vim/syntax/tarvel.vim", "syntax keyword tarvelType contained ([^\n]*)",
         "syntax match tarvelSetting ([^\n]*)"},
        {"editors/vscode/syntaxes/tarvel.tmLanguage.json", "\"header\": \\{\\s*\"match\": \"([^\"]*)\"",
         "\"setting\": \\{\\s*\"begin\": \"([^\"]*)\""},
    };
    for (const Grammar& grammar : grammars) {
        SCOPED_TRACE(grammar.file);
        const std::string text = read_file(std::string(TARVEL_SOURCE_DIR) + "/" + grammar.file);
        auto list = [&](const char* pattern) {
            std::smatch m;
            EXPECT_TRUE(std::regex_search(text, m, std::regex(pattern))) << pattern;
            return m.empty() ? std::string() : m[1].str();
        };
        const std::string types = list(grammar.types);
        const std::string settings = list(grammar.settings);
        auto named = [](const std::string& in, const std::string& name) {
            return std::regex_search(in, std::regex("\\b" + name + "\\b"));
        };
        for (const SectionType* type : section_types) EXPECT_TRUE(named(types, type->name)) << type->name;
        for (const ConfigVar& var : config_vars) EXPECT_TRUE(named(settings, var.name)) << var.name;
    }
}

TEST(Editors, VimColoursAScript) {
    const std::string root = TARVEL_SOURCE_DIR;
    TempDir dir;
    write_file(dir.file("demo.tvl"), "; a comment\nbpm 120\n[image]\nstart 2\nblend SRC_ALPHA ONE\n");
    const std::string out = dir.file("syntax.out");
    const std::string command =
        "vim -u NONE -N -es -c 'set rtp^=" + root +
        "/editors/vim' -c 'filetype on' -c 'syntax on' -c 'edit " + dir.file("demo.tvl") +
        "' -c 'let r = []' -c 'for [l, c] in [[1, 1], [2, 1], [2, 5], [3, 2], [4, 1], [5, 7]] | call add(r, "
        "synIDattr(synID(l, c, 1), \"name\")) | endfor' -c 'call writefile([&filetype, join(r)], \"" +
        out + "\")' -c 'qa!' < /dev/null > /dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(read_file(out),
              "tarvel\ntarvelComment tarvelSetting tarvelNumber tarvelType tarvelKey tarvelConstant\n");
}
