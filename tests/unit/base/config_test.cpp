#include "base/config.h"
#include "runtime/registry.h"

#include <gtest/gtest.h>

#include <string>

#include "../script/script_fixture.h"
#include "base/error.h"
#include "runtime/startup.h"

namespace {

// Every variable of the table, in the table's order, as text.
std::string table_text(const Config& c) {
    std::string out;
    for (const ConfigVar& var : config_vars) {
        out += std::string(" ") + var.name + "=";
        if (var.type == CONFIG_INT) out += std::to_string(c.*var.int_member);
        if (var.type == CONFIG_FLOAT) out += std::to_string(c.*var.float_member);
        if (var.type == CONFIG_STRING) out += c.*var.string_member;
    }
    return out;
}

}  // namespace

using ConfigTest = ScriptTest;

// Each name sets a member of its own: set through the table one at a time, every variable
// changes alone, and a reading of no script gives the defaults and empties the sections.
TEST_F(ConfigTest, EachNameSetsItsOwnVariableAndAReadStartsFromTheDefaults) {
    const std::string defaults = table_text(Config());
    for (const ConfigVar& var : config_vars) {
        Config c;
        if (var.type == CONFIG_INT) c.*var.int_member = -7;
        if (var.type == CONFIG_FLOAT) c.*var.float_member = -7;
        if (var.type == CONFIG_STRING) c.*var.string_member = "-7";
        const std::string text = table_text(c);
        const std::string set = std::string(" ") + var.name + "=-7";
        EXPECT_EQ(text.find("=-7"), text.rfind("=-7")) << var.name;
        EXPECT_NE(text.find(set), std::string::npos) << var.name;
    }
    sections.add();
    script_read_all(sections, {section_types, settings});
    EXPECT_EQ(table_text(settings), defaults);
    EXPECT_EQ(sections.head, nullptr);
}

// A tempo is 0 (none) or a rate, and a bar has a beat at least: anything else is refused at the
// line that set it.
TEST_F(ConfigTest, TheTempoIsCheckedWhereItWasSet) {
    const std::pair<const char*, const char*> rows[] = {
        {"bpm 0\nbeats_per_bar 1\n", ""},
        {"bpm 120\nbpm -1\n", "Invalid bpm -1 (script './x.tvl', line 2)"},
        {"bpm nan\n", "Invalid bpm nan (script './x.tvl', line 1)"},
        {"bpm 97.5\nbeats_per_bar 0\n", "Invalid beats_per_bar 0 (script './x.tvl', line 2)"},
    };
    for (const auto& [script, message] : rows) {
        reset();
        ASSERT_EQ(parse(script), "") << script;
        EXPECT_EQ(fatal_message_of([this] { demo_settings_check(settings); }), message) << script;
    }
}

TEST(Messages, FatalAndWarningTextsAreCutAt1023Characters) {
    std::string long_text(2000, 'x');
    EXPECT_EQ(fatal_message_of([&] { fatal_error("<%s>", long_text.c_str()); }),
              "<" + std::string(1022, 'x'));

    testing::internal::CaptureStderr();
    warning_message("%s", long_text.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Warning: " + std::string(1023, 'x') + "\n");
}
