#include "base/config.h"

#include <gtest/gtest.h>

#include <string>

#include "../script/script_fixture.h"
#include "base/error.h"

namespace {

// Every variable of the table set through its own type.
void dirty_all(int value) {
    for (const ConfigVar& var : config_vars) {
        if (var.type == CONFIG_INT) *static_cast<int32_t*>(var.target) = value;
        if (var.type == CONFIG_FLOAT) *static_cast<float*>(var.target) = static_cast<float>(value);
        if (var.type == CONFIG_STRING) *static_cast<std::string*>(var.target) = std::to_string(value);
    }
    display_aspect = static_cast<float>(value);
}

std::string snapshot() {
    std::string out = std::to_string(display_aspect);
    for (const ConfigVar& var : config_vars) {
        out += std::string(" ") + var.name + "=";
        if (var.type == CONFIG_INT) out += std::to_string(*static_cast<int32_t*>(var.target));
        if (var.type == CONFIG_FLOAT) out += std::to_string(*static_cast<float*>(var.target));
        if (var.type == CONFIG_STRING) out += *static_cast<std::string*>(var.target);
    }
    return out;
}

}  // namespace

using Config = ScriptTest;

TEST_F(Config, ResetGivesTheSameDefaultsFromAnyStateAndEmptiesTheSections) {
    dirty_all(-7);
    section_new();
    config_reset_defaults();
    const std::string first = snapshot();
    EXPECT_EQ(section_list, nullptr);
    dirty_all(99);
    config_reset_defaults();
    EXPECT_EQ(snapshot(), first);
    EXPECT_EQ(first.find("-7"), std::string::npos) << first;
    EXPECT_FLOAT_EQ(display_aspect, 16.0f / 9.0f);
}

TEST_F(Config, SetDefaultsParsesTheTreeAndTheLastFileParsedWins) {
    gl_height = 1;
    write_file(dir.file("one/a.tvl"), "demo_name One\ngl_width 100\n[image]\nstring One\n");
    write_file(dir.file("two/b.tvl"), "demo_name Two\ngl_width 200\nrecord_fps 12.5\n[image]\nstring Two\n");
    ASSERT_EQ(fatal_message_of([] { config_set_defaults(); }), "");
    EXPECT_EQ(gl_height, 600);
    EXPECT_EQ(record_fps, 12.5f);
    // The list of all sections starts with the section of the file parsed last.
    ASSERT_EQ(parsed_sections().size(), 2u);
    const std::string last = section_list->strings[0];
    EXPECT_EQ(demo_name, last);
    EXPECT_EQ(gl_width, last == "One" ? 100 : 200);
}

TEST(Messages, FatalAndWarningTextsAreCutAt1023Characters) {
    std::string long_text(2000, 'x');
    EXPECT_EQ(fatal_message_of([&] { fatal_error("<%s>", long_text.c_str()); }),
              "<" + std::string(1022, 'x'));
    std::string fits(1023, 'y');
    EXPECT_EQ(fatal_message_of([&] { fatal_error("%s", fits.c_str()); }), fits);

    testing::internal::CaptureStderr();
    warning_message("OpenGL error %d: %s", 1282, "invalid operation");
    warning_message("%s", long_text.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning: OpenGL error 1282: invalid operation\nWarning: " + std::string(1023, 'x') + "\n");
}
