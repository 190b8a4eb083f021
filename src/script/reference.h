// The reference of the script language: one row for every name a script may use (the section
// types, the section keywords and the settings) with what it takes and what it means. The
// parser's "did you mean" hints, the language server's hovers and the README's tables all read
// (or are checked against) this one table.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class ReferenceKind { Type, Keyword, Setting };

struct ReferenceEntry {
    const char* name;
    ReferenceKind kind;
    // What the name takes: for a section type its params, strings and splines ("params: ...;
    // strings: ...; splines: ..."), for a keyword its value ("seconds"), for a setting its type
    // and default ("float, default 0.0"). Markdown, as in the README's tables.
    const char* takes;
    // What it means, in the README's words: lower case, no closing full stop. Markdown.
    const char* meaning;
};

// Every row: the section types in the registry's order, then the keywords in the parser's
// order, then the settings in the order of the variable table.
std::span<const ReferenceEntry> reference_table();

// The row of `name` (exact, case-sensitive) of that kind, or the first of any kind (a section
// type before a keyword before a setting: `sound` is both a type and a setting); null when
// there is none.
const ReferenceEntry* reference_find(std::string_view name, ReferenceKind kind);
const ReferenceEntry* reference_find(std::string_view name);

// The names of one kind, in the table's order: the candidates of the "did you mean" hints.
std::vector<std::string_view> reference_names(ReferenceKind kind);

// "section type", "section keyword" or "setting".
const char* reference_kind_name(ReferenceKind kind);

// Where a word stands in a script: in a `[type]` header line, in a line of a section (after a
// header of its file), or in a line before the first header (a setting).
enum class ScriptPlace { Header, Section, TopLevel };

// The Markdown paragraph shown for a row:
//   **NAME** (KIND): MEANING. Takes: TAKES.
// e.g. "**bpm** (setting): the music's tempo ... Takes: float, default 0.0."
std::string reference_hover(const ReferenceEntry& entry);
// The paragraph for `word` at that place: a section type on a header, a keyword in a section,
// a setting at the top level; "" when the word names nothing there.
std::string reference_hover(std::string_view word, ScriptPlace place);
