// The list of all sections, the shared no-op callbacks, and lookup in a table of section types.
#include "script/section.h"

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/io.h"
#include "resources/files.h"
#include "resources/spline.h"
#include "script/parser.h"

void section_noop(Section&, Frame&) {}

void section_check_none(const Section&, const SectionTypes&, bool) {}

int SectionTypes::find(const char* name) const {
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(rows[i]->name, name) == 0) return i;
    }
    return -1;
}

namespace {

// Why a file name may not open although it looks right: what follows it on the line, unseen
// or taken for a comment, is part of the name.
std::string file_name_hint(const std::string& name) {
    size_t semicolon = name.find(';');
    if (semicolon != std::string::npos) {
        std::string before = name.substr(0, semicolon);
        before.erase(before.find_last_not_of(" \t") + 1);
        if (!before.empty() && file_exists(before.c_str()))
            return "the ';' and what follows it are part of the name: '" + before +
                   "' exists (a comment takes a line of its own)";
        return "";
    }
    size_t end = name.find_last_not_of(" \t") + 1;
    if (end < name.size() && end > 0 && file_exists(name.substr(0, end).c_str()))
        return "the name ends in blanks: '" + name.substr(0, end) + "' exists without them";
    return "";
}

// The file of the demo a missing name is a slip of; listing the demo happens only then.
std::string missing_file_hint(const std::string& name) {
    if (name.empty() || file_exists(name.c_str())) return "";
    const std::string path(path_without_dot(name));
    const std::vector<std::string> files = file_list(20000);
    return script_did_you_mean(path, std::vector<std::string_view>(files.begin(), files.end()));
}

std::string string_hint(const std::string& name) {
    std::string hint = file_name_hint(name);
    return hint.empty() ? missing_file_hint(name) : hint;
}

}  // namespace

ErrorPlace section_at(const Section& s) {
    return ErrorPlace(s.script, s.line);
}

ErrorPlace section_at_param(const Section& s, int i) {
    return ErrorPlace(s.script,
                      i >= 0 && i < s.param_count && s.param_lines[i] > 0 ? s.param_lines[i] : s.line);
}

ErrorPlace section_at_string(const Section& s, int i) {
    if (i < 0 || i >= s.string_count || s.string_lines[i] <= 0) return ErrorPlace(s.script, s.line);
    return ErrorPlace(s.script, s.string_lines[i], string_hint(s.strings[i]));
}

bool section_spline_short(const Section& s, int i, int needed) {
    return s.splines[i] != nullptr && s.splines[i]->channels < needed;
}

ErrorPlace section_at_spline(const Section& s, int i) {
    if (i < 0 || i >= s.spline_count || s.spline_lines[i] <= 0) return ErrorPlace(s.script, s.line);
    return ErrorPlace(s.script, s.spline_lines[i], missing_file_hint(s.spline_names[i]));
}

Section* SectionList::add() {
    records.push_back(std::make_unique<Section>());
    Section* s = records.back().get();
    s->next = head;
    head = s;
    return s;
}

void SectionList::clear() {
    for (auto& s : records) {
        for (int i = 0; i < SECTION_MAX_SPLINES; ++i) delete s->splines[i];
    }
    records.clear();
    head = nullptr;
}
