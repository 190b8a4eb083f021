// Script discovery and parsing: finds every ".tvl" file under a directory (also inside
// archives) and turns its lines into configuration assignments and Section records.
#pragma once

#include <zzip/zzip.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/config.h"
#include "base/error.h"
#include "script/problem.h"
#include "script/section.h"

inline constexpr int SCRIPT_LINE_SIZE = 256;  // 255 bytes, line end included, and the NUL
inline constexpr int SCRIPT_NAME_SIZE = 64;   // keys and header names: 63 characters
// Script paths are held in strings of any length.

struct ScriptEnum {
    const char* name;
    int value;
};

// The keywords of a section's lines, in the order the parser numbers them.
inline constexpr int SCRIPT_KEYWORD_COUNT = 9;
extern const char* const script_keywords[SCRIPT_KEYWORD_COUNT];

// The keyword a section line's key is read as: itself, or for a key no keyword names, the one
// its first letter picks (c: spline, f: param, s: string); null for none.
const char* script_keyword_of(const char* key);

inline constexpr int BLEND_FACTOR_COUNT = 11;
inline constexpr int ALPHA_FUNC_COUNT = 8;
extern const ScriptEnum blend_factors[BLEND_FACTOR_COUNT];
extern const ScriptEnum alpha_funcs[ALPHA_FUNC_COUNT];

// What one reading of the scripts works with: the section types headers are read against; the
// settings value its variable lines assign; the problems it collects, when given (collecting mode: every
// error, with its hint, and every warning goes there, and the parse goes on with the next line; the lines
// after a header of an unknown type are skipped; otherwise the first error ends the program); and texts
// standing in for script files (an editor's unsaved scripts), keyed by the script's path under the working
// directory without "./" ("scenes/a.tvl"), read in place of the files.
struct ScriptRead {
    // A plain reading into `settings_`: the first error ends the program, every script is read
    // from its file.
    ScriptRead(const SectionTypes& types_, Config& settings_) : types(types_), settings(settings_) {}
    const SectionTypes& types;
    // What the variable lines assign, and where.
    Config& settings;
    std::vector<CheckProblem>* problems = nullptr;
    const std::map<std::string, std::string>* texts = nullptr;
};

// Walks the tree under `path` depth-first, in listing order, descending into archives as into
// directories, and parses every file whose name contains ".tvl". Directories and archives are
// walked, never parsed; FIFOs and devices are left alone; a symbolic link back to a directory
// being walked is not followed, nor one to a directory outside `path` (links resolved). The
// sections go into `into`. The texts of `read` under the folder walked that the walk did not
// reach (scripts not saved yet) are parsed after it.
void script_discover(const char* path, SectionList& into, const ScriptRead& read);

// Empties `into`, then discovers and parses every script under "." into it.
void script_read_all(SectionList& into, const ScriptRead& read);

// Parses one script file. A line of more than 255 bytes (line end included) is an error. A
// UTF-8 byte-order mark before the first line is skipped. While a fatal error is in the making,
// the line being read is its place. The sections go into `into`.
void script_parse(const char* path, SectionList& into, const ScriptRead& read);

// "did you mean 'NAME'?" for the name of `names` a word is a slip of (a few edits away: one in
// four letters, at least one), the closest first found; "" when none is.
std::string script_did_you_mean(std::string_view word, const std::vector<std::string_view>& names);

// The error place of that assignment in `settings` (none when no script assigned it).
ErrorPlace config_place(const Config& settings, const char* name);

// Splits a variable line into key (before the first blank) and value (after the run of blanks,
// up to the line end). `key` holds SCRIPT_NAME_SIZE bytes: a longer key is cut, which changes
// nothing, since no keyword or variable is that long and the fall-backs read only the first
// letter. `value` holds SCRIPT_LINE_SIZE bytes, so no value of a line is ever cut.
void script_split(const char* line, char* key, char* value);

// The value of the first row named `name`, or -1.
int script_lookup(const char* name, const ScriptEnum* table, int count);
