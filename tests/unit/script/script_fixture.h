// Helpers for tests that parse scripts: a private working directory, clean configuration and
// section list around each test, and the parsed sections in the order they were parsed.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/config.h"
#include "script/parser.h"
#include "script/section.h"
#include "test_support.h"

// Sections in order of parsing (the list itself runs the other way).
inline std::vector<const Section*> parsed_sections() {
    std::vector<const Section*> out;
    for (const Section* s = section_list; s != nullptr; s = s->next) out.insert(out.begin(), s);
    return out;
}

class ScriptTest : public ::testing::Test {
  protected:
    ScriptTest() : cd(dir.path) { config_reset_defaults(); }
    ~ScriptTest() override { config_reset_defaults(); }

    // Writes `text` to ./`name` and parses it; returns the fatal message, "" when none.
    std::string parse(const std::string& text, const std::string& name = "x.tvl") {
        write_file(dir.file(name), text);
        return fatal_message_of([&] { script_parse(("./" + name).c_str()); });
    }

    // Discovery from "." with fatal errors caught; returns the message, "" when none.
    std::string discover() {
        return fatal_message_of([] { script_discover("."); });
    }

    TempDir dir;
    ScopedChdir cd;
};
