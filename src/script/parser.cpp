// Script discovery and the line-based script language.
#include "script/parser.h"

#include <GL/gl.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <climits>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/config.h"
#include "base/error.h"
#include "resources/files.h"
#include "resources/text_lines.h"
#include "script/reference.h"
#include "script/section.h"

const ScriptEnum blend_factors[BLEND_FACTOR_COUNT] = {
    {"ZERO", GL_ZERO},
    {"ONE", GL_ONE},
    {"SRC_COLOR", GL_SRC_COLOR},
    {"ONE_MINUS_SRC_COLOR", GL_ONE_MINUS_SRC_COLOR},
    {"DST_COLOR", GL_DST_COLOR},
    {"ONE_MINUS_DST_COLOR", GL_ONE_MINUS_DST_COLOR},
    {"SRC_ALPHA", GL_SRC_ALPHA},
    {"ONE_MINUS_SRC_ALPHA", GL_ONE_MINUS_SRC_ALPHA},
    {"DST_ALPHA", GL_DST_ALPHA},
    {"ONE_MINUS_DST_ALPHA", GL_ONE_MINUS_DST_ALPHA},
    {"SRC_ALPHA_SATURATE", GL_SRC_ALPHA_SATURATE},
};

const ScriptEnum alpha_funcs[ALPHA_FUNC_COUNT] = {
    {"NEVER", GL_NEVER},     {"LESS", GL_LESS},         {"EQUAL", GL_EQUAL},   {"LEQUAL", GL_LEQUAL},
    {"GREATER", GL_GREATER}, {"NOTEQUAL", GL_NOTEQUAL}, {"GEQUAL", GL_GEQUAL}, {"ALWAYS", GL_ALWAYS},
};

const char* const script_keywords[SCRIPT_KEYWORD_COUNT] = {"start",  "end",    "layer", "sync", "param",
                                                           "spline", "string", "blend", "alpha"};

namespace {

enum Keyword {
    KW_START,
    KW_END,
    KW_LAYER,
    KW_SYNC,
    KW_PARAM,
    KW_SPLINE,
    KW_STRING,
    KW_BLEND,
    KW_ALPHA,
    KW_NONE
};
static_assert(KW_NONE == SCRIPT_KEYWORD_COUNT);

bool is_line_end(char c) {
    return c == '\0' || c == '\n' || c == '\r';
}
bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// The hint for a misspelt name, when one of `names` lies close to it.
template <typename Names>
std::string hint_for(const char* word, const Names& names) {
    std::vector<std::string_view> known(std::begin(names), std::end(names));
    return script_did_you_mean(word, known);
}

Keyword keyword_find(const char* key) {
    for (int i = 0; i < KW_NONE; ++i) {
        if (std::strcmp(script_keywords[i], key) == 0) return static_cast<Keyword>(i);
    }
    // Unknown keys fall back on their first letter: c(urve) is a spline, f(loat) a param, s a string.
    switch (key[0]) {
        case 'c':
            return KW_SPLINE;
        case 'f':
            return KW_PARAM;
        case 's':
            return KW_STRING;
        default:
            return KW_NONE;
    }
}

// "%d" semantics (leading white space, optional sign, digits) without the undefined behaviour
// of a number out of range: such a number is clamped to the int32 range.
bool scan_int(const char* text, int32_t* out) {
    char* end = nullptr;
    long long v = std::strtoll(text, &end, 10);
    if (end == text) return false;
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    *out = static_cast<int32_t>(v);
    return true;
}

struct ParseState {
    const char* path;
    int line;
    SectionList& into;
    const ScriptRead& read;
};

void collect_warning(const ParseState& st, const std::string& message) {
    if (st.read.problems != nullptr)
        st.read.problems->push_back({st.path, st.line, Severity::Warning, message});
}

// What the eye does not see on a line that begins with blanks.
std::string blank_line_hint(const char* line) {
    if (!is_blank(line[0])) return "";
    const char* p = line;
    while (is_blank(*p)) ++p;
    if (is_line_end(*p)) return "the line holds only blanks (an empty line must be empty)";
    return "the line begins with blanks: a key starts at the beginning of its line";
}

void assign_variable(const ParseState& st, const char* key, const char* value) {
    const ConfigVar* var = config_find(key);
    if (var == nullptr) {
        const std::string hint = script_did_you_mean(key, reference_names(ReferenceKind::Setting));
        if (!hint.empty()) {
            ErrorPlace place(st.path, st.line, hint);
            fatal_error("Unknown variable");
        }
        fatal_error("Unknown variable");
    }
    Config& settings = st.read.settings;
    settings.places[var->name] = {st.path, st.line};
    switch (var->type) {
        case CONFIG_INT:
            scan_int(value, &(settings.*var->int_member));
            break;
        case CONFIG_FLOAT:
            text_scan_float(value, &(settings.*var->float_member));
            break;
        default:
            settings.*var->string_member = value;
            break;
    }
}

void apply_keyword(const ParseState& st, Section& s, Keyword kw, const char* value) {
    switch (kw) {
        case KW_START:
            text_scan_float(value, &s.start);
            s.start_line = st.line;
            if (s.start < 0) fatal_error("Invalid start");
            break;
        case KW_END:
            s.end_line = st.line;
            text_scan_float(value, &s.end);
            s.duration = s.end - s.start;
            if (!(s.duration > 0)) fatal_error("Invalid duration");
            break;
        case KW_LAYER:
            scan_int(value, &s.layer);
            break;
        case KW_SYNC: {
            if (s.sync_count >= SECTION_MAX_SYNCS) fatal_error("Too many syncs");
            float v = 0;  // a sync that does not parse is kept as 0 so later syncs keep their places
            text_scan_float(value, &v);
            s.syncs[s.sync_count++] = v;
            break;
        }
        case KW_PARAM:
            if (s.param_count >= SECTION_MAX_PARAMS) fatal_error("Too many params");
            for (int i = s.param_count; i < SECTION_MAX_PARAMS; ++i) s.param_lines[i] = st.line;
            s.param_count +=
                text_read_vector(value, s.params + s.param_count, SECTION_MAX_PARAMS - s.param_count);
            break;
        case KW_SPLINE: {
            if (s.spline_count >= SECTION_MAX_SPLINES) fatal_error("Too many splines");
            // The value is at most a line long, so the name always fits.
            char name[SCRIPT_LINE_SIZE] = "";
            float duration = 0;
            if (std::sscanf(value, "%255s %f", name, &duration) != 2) duration = s.duration;
            s.spline_names[s.spline_count] = name;
            s.spline_lines[s.spline_count] = st.line;
            s.spline_durations[s.spline_count] = duration;
            ++s.spline_count;
            break;
        }
        case KW_STRING:
            if (s.string_count >= SECTION_MAX_STRINGS) fatal_error("Too many strings");
            s.string_lines[s.string_count] = st.line;
            s.strings[s.string_count++] = value;
            break;
        case KW_BLEND: {
            // A name longer than the buffer is cut; no factor is that long, so it stays invalid.
            char src[SCRIPT_NAME_SIZE] = "";
            char dst[SCRIPT_NAME_SIZE] = "";
            std::sscanf(value, "%63s %63s", src, dst);
            s.blend_src = script_lookup(src, blend_factors, BLEND_FACTOR_COUNT);
            if (s.blend_src == -1) fatal_error("Invalid blend source factor");
            // A missing second name is reported rather than guessed.
            s.blend_dst = script_lookup(dst, blend_factors, BLEND_FACTOR_COUNT);
            if (s.blend_dst == -1) fatal_error("Invalid blend destination factor");
            s.blend_on = true;
            break;
        }
        case KW_ALPHA: {
            char func[SCRIPT_NAME_SIZE] = "";
            if (std::sscanf(value, "%63s %f %f", func, &s.alpha_ref_from, &s.alpha_ref_to) != 3) {
                s.alpha_ref_to = s.alpha_ref_from;
            }
            s.alpha_func = script_lookup(func, alpha_funcs, ALPHA_FUNC_COUNT);
            if (s.alpha_func == -1) fatal_error("Invalid alpha function");
            s.alpha_on = true;
            break;
        }
        case KW_NONE:
            fatal_error("Unknown section variable");
    }
}

// An unknown type leaves no section: the lines up to the next header belong to none, and are
// skipped when problems are collected.
void parse_header(const ParseState& st, const char* line, Section*& current, bool& skipping) {
    // A name longer than the buffer is cut; no type name is that long, so it stays unknown.
    char name[SCRIPT_NAME_SIZE] = "";
    std::sscanf(line, "[%63s", name);
    size_t len = std::strlen(name);
    if (len > 0) name[len - 1] = '\0';  // the closing bracket
    int type = st.read.types.find(name);
    current = nullptr;
    skipping = type < 0;
    if (type < 0) {
        ErrorPlace place(st.path, st.line, script_did_you_mean(name, reference_names(ReferenceKind::Type)));
        fatal_error("Unknown section");
    }
    current = st.into.add();
    current->type = type;
    current->script = st.path;
    current->line = st.line;
}

// One line of a script: a comment, a header or a variable line.
void parse_line(const ParseState& st, char* line, Section*& current, bool& skipping) {
    char first = line[0];
    if (first == ';' || first == '\n' || first == '\r') {
        // comment or empty line
    } else if (first == '[') {
        parse_header(st, line, current, skipping);
    } else if (!skipping) {
        char key[SCRIPT_NAME_SIZE];
        char value[SCRIPT_LINE_SIZE];
        script_split(line, key, value);
        if (std::strchr(value, ';') != nullptr)
            collect_warning(st, "';' after a value is part of the value (a comment takes a line of its own)");
        if (current == nullptr) {
            assign_variable(st, key, value);
        } else {
            const Keyword kw = keyword_find(key);
            const std::string hint =
                kw == KW_NONE ? hint_for(key, reference_names(ReferenceKind::Keyword)) : "";
            if (!hint.empty()) {
                ErrorPlace place(st.path, st.line, hint);
                apply_keyword(st, *current, kw, value);
            } else {
                apply_keyword(st, *current, kw, value);
            }
        }
    }
}

// The key of a path in ScriptRead::texts: "./" and repeated separators dropped.
std::string text_key(const std::string& path) {
    const std::string key = std::filesystem::path(path).lexically_normal().string();
    return key == "." ? "" : key;
}

// Parses one script; the keys of the texts read in place of files go into `texts_read`.
void parse_script(const char* path, SectionList& into, const ScriptRead& read,
                  std::set<std::string>* texts_read);

}  // namespace

const char* script_keyword_of(const char* key) {
    const Keyword k = keyword_find(key);
    return k == KW_NONE ? nullptr : script_keywords[k];
}

int script_lookup(const char* name, const ScriptEnum* table, int count) {
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(table[i].name, name) == 0) return table[i].value;
    }
    return -1;
}

void script_split(const char* line, char* key, char* value) {
    const char* p = line;
    int k = 0;
    while (!is_blank(*p) && !is_line_end(*p)) {
        if (k < SCRIPT_NAME_SIZE - 1) key[k++] = *p;
        ++p;
    }
    key[k] = '\0';
    while (is_blank(*p)) ++p;
    int v = 0;
    while (!is_line_end(*p)) {
        if (v < SCRIPT_LINE_SIZE - 1) value[v++] = *p;
        ++p;
    }
    value[v] = '\0';
}

namespace {
// Edits (insertions, deletions, substitutions) from a to b.
size_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}
}  // namespace

std::string script_did_you_mean(std::string_view word, const std::vector<std::string_view>& names) {
    if (word.empty()) return "";
    // Close enough to be a slip: one edit in four letters of the longer name, at least one.
    std::string_view best;
    size_t best_distance = SIZE_MAX;
    for (std::string_view name : names) {
        const size_t d = edit_distance(word, name);
        const size_t allowed = std::max<size_t>(1, std::max(word.size(), name.size()) / 4);
        if (d > 0 && d <= allowed && d < best_distance) {
            best = name;
            best_distance = d;
        }
    }
    return best.empty() ? "" : "did you mean '" + std::string(best) + "'?";
}

ErrorPlace config_place(const Config& settings, const char* name) {
    auto found = settings.places.find(name);
    if (found == settings.places.end()) return ErrorPlace("", 0);
    return ErrorPlace(found->second.script, found->second.line);
}

void script_parse(const char* path, SectionList& into, const ScriptRead& read) {
    parse_script(path, into, read, nullptr);
}

namespace {

void parse_script(const char* path, SectionList& into, const ScriptRead& read,
                  std::set<std::string>* texts_read) {
    std::vector<CheckProblem>* collected = read.problems;
    const std::string* text = nullptr;
    if (read.texts != nullptr) {
        auto found = read.texts->find(text_key(path));
        if (found != read.texts->end()) {
            text = &found->second;
            if (texts_read != nullptr) texts_read->insert(found->first);
            file_note_opened(path);
        }
    }
    ZzipFile file(text == nullptr ? file_open(path) : nullptr);
    if (text == nullptr && file == nullptr) {
        if (collected == nullptr) fatal_error("Error opening script '%s'", path);
        collected->push_back({path, 0, Severity::Error, "Error opening script '" + std::string(path) + "'"});
        return;
    }

    LineReader bytes = text != nullptr ? LineReader(*text) : LineReader(file.get());
    ParseState st{path, 1, into, read};
    Section* current = nullptr;
    bool skipping = false;
    char line[SCRIPT_LINE_SIZE];
    bool after_cr = false;
    for (;;) {
        int length = bytes.line(line, sizeof line);
        if (length == 0) break;
        // The line reader ends a line at '\r': the '\n' of a "\r\n" line end comes next, alone,
        // and is no line of its own.
        const bool lone_lf = after_cr && length == 1 && line[0] == '\n';
        after_cr = line[length - 1] == '\r';
        if (lone_lf) continue;
        // Editors may begin a UTF-8 file with a byte-order mark; it is no part of the first line.
        if (st.line == 1 && length >= 3 && std::memcmp(line, "\xEF\xBB\xBF", 3) == 0) {
            std::memmove(line, line + 3, static_cast<size_t>(length - 3) + 1);
            length -= 3;
            if (length == 0) continue;
        }
        ErrorPlace place(path, st.line, blank_line_hint(line));
        // A line that fills the buffer without its line end would otherwise go on as a separate
        // line and be read as something it is not.
        char last = line[length - 1];
        bool too_long = false;
        if (length == SCRIPT_LINE_SIZE - 1 && last != '\n' && last != '\r') {
            char next;
            too_long = bytes.get(next);
        }
        if (collected == nullptr) {
            if (too_long) fatal_error("Line too long");
            parse_line(st, line, current, skipping);
        } else {
            CapturedError error;
            if (!fatal_capture(
                    [&] {
                        if (too_long) fatal_error("Line too long");
                        parse_line(st, line, current, skipping);
                    },
                    error)) {
                collected->push_back({error.script, error.line, Severity::Error, error.message});
                if (!error.hint.empty())
                    collected->push_back({error.script, error.line, Severity::Hint, error.hint});
            }
            // The rest of an over-long line would be read as a line of its own.
            if (too_long) {
                while (bytes.line(line, sizeof line) == SCRIPT_LINE_SIZE - 1 &&
                       line[SCRIPT_LINE_SIZE - 2] != '\n' && line[SCRIPT_LINE_SIZE - 2] != '\r') {
                }
            }
        }
        ++st.line;
    }
    if (bytes.too_large()) {
        char message[96];
        std::snprintf(message, sizeof message, "Script larger than %zu MB", FILE_TEXT_MAX >> 20);
        if (collected == nullptr) fatal_error("%s (script '%s')", message, path);
        collected->push_back({path, 0, Severity::Error, message});
    }
}

enum class Walk { Walked, Skipped, NotADirectory };

using FileId = std::pair<dev_t, ino_t>;

// Whether a link to a folder leads outside the folder walked (`root`, its links resolved).
bool leads_out(const std::string& path, const std::string& root) {
    std::error_code error;
    const std::string real = std::filesystem::canonical(path, error).string();
    return error || (real != root && real.rfind(root == "/" ? root : root + "/", 0) != 0);
}

// Walks `path` when it opens as a directory or an archive. `ancestors` holds the plain
// directories being walked, so that a symbolic link back up the tree is not followed forever.
// A link to a folder outside `root` is not followed: the maker's mode watches the demo's folder
// only, so scripts found there would play but never reload.
Walk discover(const std::string& path, const std::string& root, std::vector<FileId>& ancestors,
              size_t& walked, SectionList& into, const ScriptRead& read, std::set<std::string>& texts_read) {
    struct stat st;
    bool plain = stat(path.c_str(), &st) == 0;  // false inside archives
    FileId id{};
    if (plain) {
        // Opening a FIFO or a device could block or never reach its end.
        if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) return Walk::Skipped;
        struct stat link;
        if (S_ISDIR(st.st_mode) && lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode) &&
            leads_out(path, root))
            return Walk::Skipped;
        if (S_ISDIR(st.st_mode)) {
            id = {st.st_dev, st.st_ino};
            for (const FileId& a : ancestors) {
                if (a == id) return Walk::Skipped;
            }
        }
    }

    ZzipDir dir(dir_open(path.c_str()));
    if (dir == nullptr) return Walk::NotADirectory;
    if (plain && S_ISDIR(st.st_mode)) ancestors.push_back(id);
    while (ZZIP_DIRENT* entry = zzip_readdir(dir.get())) {
        if (!file_walk_more(walked++)) break;
        std::string name = entry->d_name;
        if (name.empty() || name == "." || name == "..") continue;
        std::string child = path + "/" + name;
        Walk walk = discover(child, root, ancestors, walked, into, read, texts_read);
        // Directories and archives named like scripts are walked, never parsed; so are the
        // directory entries of an archive, whose names end with '/'.
        if (walk == Walk::NotADirectory && name.back() != '/' && name.find(".tvl") != std::string::npos) {
            parse_script(child.c_str(), into, read, &texts_read);
        }
    }
    if (plain && S_ISDIR(st.st_mode)) ancestors.pop_back();
    return Walk::Walked;
}

}  // namespace

void script_discover(const char* path, SectionList& into, const ScriptRead& read) {
    std::vector<FileId> ancestors;
    std::set<std::string> texts_read;
    std::error_code error;
    const std::string root = std::filesystem::canonical(path, error).string();
    size_t walked = 0;
    discover(path, root, ancestors, walked, into, read, texts_read);
    // Texts of scripts not on disk yet, under the folder walked.
    if (read.texts == nullptr) return;
    const std::string under = text_key(path);
    for (const auto& [key, text] : *read.texts) {
        if (texts_read.count(key) != 0) continue;
        if (!under.empty() && key.rfind(under + "/", 0) != 0) continue;
        script_parse(("./" + key).c_str(), into, read);
    }
}

void script_read_all(SectionList& into, const ScriptRead& read) {
    into.clear();
    script_discover(".", into, read);
}
