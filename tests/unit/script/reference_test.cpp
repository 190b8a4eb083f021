#include "script/reference.h"
#include "runtime/registry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "base/config.h"
#include "script/parser.h"
#include "script/section.h"
#include "test_support.h"

namespace {

using ::testing::ElementsAreArray;
using ::testing::StartsWith;

std::string trimmed(const std::string& s) {
    const size_t from = s.find_first_not_of(' ');
    return from == std::string::npos ? "" : s.substr(from, s.find_last_not_of(' ') - from + 1);
}

// The body rows of the Markdown tables in the README, by the "### " heading they stand under:
// each row's cells, trimmed, with the backticks of the first (the name) taken off.
std::map<std::string, std::vector<std::vector<std::string>>> readme_tables() {
    std::istringstream in(read_file(TARVEL_SOURCE_DIR "/README.md"));
    std::map<std::string, std::vector<std::vector<std::string>>> tables;
    std::string heading, line;
    for (bool in_table = false; std::getline(in, line); in_table = line.rfind("|", 0) == 0) {
        if (line.rfind("### ", 0) == 0) heading = line.substr(4);
        // The first row of a table is its header; the second its separator.
        if (!in_table || line.rfind("|", 0) != 0 || line.rfind("|---", 0) == 0) continue;
        std::vector<std::string> cells;
        for (size_t at = 1, bar; (bar = line.find('|', at)) != std::string::npos; at = bar + 1)
            cells.push_back(trimmed(line.substr(at, bar - at)));
        if (cells.empty()) continue;
        if (cells[0].size() > 2 && cells[0].front() == '`' && cells[0].back() == '`')
            cells[0] = cells[0].substr(1, cells[0].size() - 2);
        tables[heading].push_back(cells);
    }
    return tables;
}

}  // namespace

// Every name the player knows has one row of its kind, in the player's order, and nothing else
// has a row; the README's three tables hold those rows, in that order and in their words.
TEST(Reference, HasOneRowForEveryNameThePlayerKnowsAndTheReadmeSaysTheSame) {
    std::vector<std::string> types, settings;
    for (const SectionType* t : section_types) types.emplace_back(t->name);
    for (const ConfigVar& v : config_vars) settings.emplace_back(v.name);
    const std::vector<std::string> keywords(script_keywords, script_keywords + SCRIPT_KEYWORD_COUNT);
    auto tables = readme_tables();
    const std::tuple<const char*, ReferenceKind, const std::vector<std::string>&> kinds[] = {
        {"Section types", ReferenceKind::Type, types},
        {"Section keywords", ReferenceKind::Keyword, keywords},
        {"Configuration variables", ReferenceKind::Setting, settings},
    };
    for (const auto& [heading, kind, known] : kinds) {
        ASSERT_THAT(reference_names(kind), ElementsAreArray(known)) << heading;
        std::vector<std::string> names;
        for (const std::vector<std::string>& cells : tables[heading]) {
            names.push_back(cells[0]);
            const ReferenceEntry* e = reference_find(cells[0], kind);
            if (e == nullptr) continue;  // the names compared below show it
            // Types: name, meaning, takes; keywords: name, value, meaning; settings: name, type,
            // default, meaning.
            const bool setting = kind == ReferenceKind::Setting;
            ASSERT_EQ(cells.size(), setting ? 4u : 3u) << cells[0];
            const std::string takes = kind == ReferenceKind::Type ? cells[2]
                                      : setting                   ? cells[1] + ", default " + cells[2]
                                                                  : cells[1];
            EXPECT_EQ(takes, e->takes) << cells[0];
            EXPECT_EQ(kind == ReferenceKind::Type ? cells[1] : cells.back(), e->meaning) << cells[0];
        }
        EXPECT_EQ(names, known) << heading;
    }
    // A setting's row gives its type and default as the variable table has them.
    const Config defaults;
    const char* const type_names[] = {"integer", "float", "text"};
    for (const ConfigVar& v : config_vars) {
        char value[64];
        if (v.type == CONFIG_INT) std::snprintf(value, sizeof value, "%d", defaults.*v.int_member);
        if (v.type == CONFIG_FLOAT) std::snprintf(value, sizeof value, "%.1f", defaults.*v.float_member);
        if (v.type == CONFIG_STRING)
            std::snprintf(value, sizeof value, "%s", (defaults.*v.string_member).c_str());
        EXPECT_EQ(reference_find(v.name, ReferenceKind::Setting)->takes,
                  std::string(type_names[v.type]) + ", default " + value);
    }
}

// The paragraph for a word depends on where it stands: `sound` is a type in a header and a
// setting at the top level; a keyword names nothing outside a section.
TEST(Reference, HoverGivesTheRowOfTheWordsPlace) {
    EXPECT_EQ(reference_hover("sync", ScriptPlace::Section),
              "**sync** (section keyword): a sync time (up to 32). Takes: seconds.");
    EXPECT_THAT(reference_hover("sound", ScriptPlace::Header), StartsWith("**sound** (section type): the"));
    EXPECT_THAT(reference_hover("sound", ScriptPlace::TopLevel), StartsWith("**sound** (setting): non-zero"));
    EXPECT_EQ(reference_find("sound")->kind, ReferenceKind::Type);
    EXPECT_EQ(reference_hover("sync", ScriptPlace::TopLevel), "");
    EXPECT_EQ(reference_hover("image", ScriptPlace::Section), "");
    EXPECT_EQ(reference_hover("Image", ScriptPlace::Header), "");
    EXPECT_EQ(reference_hover("", ScriptPlace::Header), "");
}
