// The editor packages against the player: the Vim syntax names every section type and setting
// the player knows, and Vim itself reads a script with it as the syntax says.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "base/config.h"
#include "script/section.h"
#include "test_support.h"

TEST(Editors, VimKnowsEveryTypeAndSettingAndColoursAScript) {
    const std::string root = TARVEL_SOURCE_DIR;
    const std::string syntax = read_file(root + "/editors/vim/syntax/tarvel.vim");
    auto named = [&](const std::string& name) {
        return std::regex_search(syntax, std::regex("[ (|]" + name + "[ )\\\\\n]"));
    };
    for (const SectionType* type : section_types) EXPECT_TRUE(named(type->name)) << type->name;
    for (const ConfigVar& var : config_vars) EXPECT_TRUE(named(var.name)) << var.name;

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
