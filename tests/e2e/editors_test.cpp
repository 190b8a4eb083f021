// The editor packages against the player: each grammar names the section types and settings the
// player knows, all of them and no other, and Vim itself reads a script with its syntax as the syntax says.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>
#include <string>

#include "base/config.h"
#include "runtime/registry.h"
#include "script/section.h"
#include "player.h"

TEST(Editors, GrammarsNameEveryTypeAndSettingAndNoOther) {
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
        // The words of the list the pattern picks out, its escapes (\t, \[, \|, \%) dropped.
        auto names = [&](const char* pattern) {
            std::smatch m;
            EXPECT_TRUE(std::regex_search(text, m, std::regex(pattern))) << pattern;
            const std::string in = std::regex_replace(m.empty() ? "" : m[1].str(), std::regex("\\\\+."), " ");
            const std::regex word("[A-Za-z_][A-Za-z0-9_]*");
            return std::set<std::string>(std::sregex_token_iterator(in.begin(), in.end(), word), {});
        };
        std::set<std::string> types, settings;
        for (const SectionType* type : section_types) types.insert(type->name);
        for (const ConfigVar& var : config_vars) settings.insert(var.name);
        EXPECT_EQ(names(grammar.types), types);
        EXPECT_EQ(names(grammar.settings), settings);
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

// Neovim with the Vim package and the README's lines for the language server, the player on the
// PATH: the problems of a script appear, and change as the text is edited without saving.
TEST(Editors, NeovimWithTheReadmeLinesShowsProblemsAsTyped) {
    const std::string root = TARVEL_SOURCE_DIR;
    const std::string readme = read_file(root + "/README.md");
    const size_t intro = readme.find("In Neovim (0.7 or later)");
    ASSERT_NE(intro, std::string::npos);
    std::string lua = "vim.opt.runtimepath:prepend('" + root + "/editors/vim')\nvim.cmd('filetype on')\n";
    // The indented block after the introduction, less its indent.
    std::smatch block;
    ASSERT_TRUE(std::regex_search(readme.cbegin() + intro, readme.cend(), block,
                                  std::regex("\n\n((?:    [^\n]*\n|\n)*)")));
    lua += std::regex_replace(block[1].str(), std::regex("(^|\n)    "), "$1");
    Demo demo;
    demo.write();
    demo.file("show.tvl", "[imagee]\nstart 0\nend 2\n");
    write_file(demo.dir.file("init.lua"), lua);
    // Waits for the problems to differ from what they were, then writes "LINE:FROM-TO:SEVERITY" for
    // each; then fixes the header in the buffer only and does it again.
    write_file(demo.dir.file("probe.lua"), R"(
local function problems(before)
  local out = {}
  vim.wait(20000, function()
    out = {}
    for _, d in ipairs(vim.diagnostic.get(0)) do
      table.insert(out, string.format("%d:%d-%d:%d", d.lnum, d.col, d.end_col, d.severity))
    end
    table.sort(out)
    return table.concat(out, " ") ~= before
  end, 50)
  return table.concat(out, " ")
end
local first = problems("")
vim.api.nvim_buf_set_lines(0, 0, 1, false, { "[image]" })
local second = problems(first)
vim.fn.writefile({ first, second }, "problems.out")
vim.cmd("qa!")
)");
    const std::string command =
        "cd " + demo.dir.path + " && PATH=" + TARVEL_TOOLS_DIR +
        ":$PATH timeout 60 nvim --headless -u init.lua -c 'edit show.tvl' -c 'luafile " +
        "probe.lua' < /dev/null > /dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << lua;
    // The unknown type and its hint on the header's name; then, fixed, the image's own needs at
    // its header.
    EXPECT_EQ(read_file(demo.dir.file("problems.out")), "0:1-7:1 0:1-7:4\n0:1-6:1\n") << lua;
    EXPECT_EQ(read_file(demo.dir.file("show.tvl")), "[imagee]\nstart 0\nend 2\n");
}
