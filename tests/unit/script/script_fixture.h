// Helpers for tests that parse scripts: a private working directory, clean settings and
// section list around each test, and the parsed sections in the order they were parsed.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/config.h"
#include "runtime/registry.h"
#include "script/parser.h"
#include "script/section.h"
#include "test_support.h"

// Sections in order of parsing (the list itself runs the other way).
inline std::vector<const Section*> parsed_sections(const SectionList& list) {
    std::vector<const Section*> out;
    for (const Section* s = list.head; s != nullptr; s = s->next) out.insert(out.begin(), s);
    return out;
}

class ScriptTest : public ::testing::Test {
  protected:
    ScriptTest() : cd(dir.path) {}

    // The defaults and no sections.
    void reset() {
        settings = Config();
        sections.clear();
    }

    // Writes `text` to ./`name` and parses it; returns the fatal message, "" when none.
    std::string parse(const std::string& text, const std::string& name = "x.tvl") {
        write_file(dir.file(name), text);
        return fatal_message_of([&] {
            script_parse(("./" + name).c_str(), sections, {section_types, settings});
        });
    }

    // Discovery from "." with fatal errors caught; returns the message, "" when none.
    std::string discover() {
        return fatal_message_of([this] { script_discover(".", sections, {section_types, settings}); });
    }

    TempDir dir;
    ScopedChdir cd;
    SectionList sections;
    Config settings;  // what the scripts parsed assigned
};
