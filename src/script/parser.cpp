// Script discovery and the line-based script language.
#include "script/parser.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "resources/files.h"
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
    {"NEVER", GL_NEVER},   {"LESS", GL_LESS},         {"EQUAL", GL_EQUAL},   {"LEQUAL", GL_LEQUAL},
    {"GREATER", GL_GREATER}, {"NOTEQUAL", GL_NOTEQUAL}, {"GEQUAL", GL_GEQUAL}, {"ALWAYS", GL_ALWAYS},
};

namespace {

const char* const keywords[] = {"start", "end", "layer", "sync", "param", "spline", "string", "blend", "alpha"};
enum Keyword { KW_START, KW_END, KW_LAYER, KW_SYNC, KW_PARAM, KW_SPLINE, KW_STRING, KW_BLEND, KW_ALPHA, KW_NONE };

bool is_line_end(char c) { return c == '\0' || c == '\n' || c == '\r'; }

Keyword keyword_find(const char* key) {
    for (int i = 0; i < KW_NONE; ++i) {
        if (std::strcmp(keywords[i], key) == 0) return static_cast<Keyword>(i);
    }
    // Fall-backs by first letter: c(urve) is a spline, f(loat) a param, s a string.
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

struct ParseState {
    const char* path;
    int line;
};

void assign_variable(const ParseState& st, const char* key, const char* value) {
    const ConfigVar* var = config_find(key);
    if (var == nullptr) script_error("Unknown variable", st.path, st.line);
    switch (var->type) {
        case CONFIG_INT: {
            int v;
            if (std::sscanf(value, "%d", &v) == 1) *static_cast<int32_t*>(var->target) = v;
            break;
        }
        case CONFIG_FLOAT: {
            float v;
            if (std::sscanf(value, "%f", &v) == 1) *static_cast<float*>(var->target) = v;
            break;
        }
        default:
            *static_cast<std::string*>(var->target) = value;
            break;
    }
}

void apply_keyword(const ParseState& st, Section& s, Keyword kw, const char* value) {
    switch (kw) {
        case KW_START:
            std::sscanf(value, "%f", &s.start);
            if (s.start < 0) script_error("Invalid start", st.path, st.line);
            break;
        case KW_END:
            std::sscanf(value, "%f", &s.end);
            s.duration = s.end - s.start;
            if (!(s.duration > 0)) script_error("Invalid duration", st.path, st.line);
            break;
        case KW_LAYER:
            std::sscanf(value, "%d", &s.layer);
            break;
        case KW_SYNC: {
            if (s.sync_count >= SECTION_MAX_SYNCS) script_error("Too many syncs", st.path, st.line);
            float v = 0;  // a sync that does not parse is stored as 0
            std::sscanf(value, "%f", &v);
            s.syncs[s.sync_count++] = v;
            break;
        }
        case KW_PARAM:
            if (s.param_count >= SECTION_MAX_PARAMS) script_error("Too many params", st.path, st.line);
            s.param_count +=
                script_parse_vector(value, s.params + s.param_count, SECTION_MAX_PARAMS - s.param_count);
            break;
        case KW_SPLINE: {
            if (s.spline_count >= SECTION_MAX_SPLINES) script_error("Too many splines", st.path, st.line);
            char name[SCRIPT_LINE_SIZE] = "";
            float duration = 0;
            if (std::sscanf(value, "%255s %f", name, &duration) != 2) duration = s.duration;
            s.spline_names[s.spline_count] = name;
            s.spline_durations[s.spline_count] = duration;
            ++s.spline_count;
            break;
        }
        case KW_STRING:
            if (s.string_count >= SECTION_MAX_STRINGS) script_error("Too many strings", st.path, st.line);
            s.strings[s.string_count++] = value;
            break;
        case KW_BLEND: {
            char src[SCRIPT_NAME_SIZE] = "";
            char dst[SCRIPT_NAME_SIZE] = "";
            std::sscanf(value, "%63s %63s", src, dst);
            s.blend_src = script_lookup(src, blend_factors, BLEND_FACTOR_COUNT);
            if (s.blend_src == -1) script_error("Invalid blend source factor", st.path, st.line);
            s.blend_dst = script_lookup(dst, blend_factors, BLEND_FACTOR_COUNT);
            if (s.blend_dst == -1) script_error("Invalid blend destination factor", st.path, st.line);
            s.blend_on = true;
            break;
        }
        case KW_ALPHA: {
            char func[SCRIPT_NAME_SIZE] = "";
            if (std::sscanf(value, "%63s %f %f", func, &s.alpha_ref_from, &s.alpha_ref_to) != 3) {
                s.alpha_ref_to = s.alpha_ref_from;
            }
            s.alpha_func = script_lookup(func, alpha_funcs, ALPHA_FUNC_COUNT);
            if (s.alpha_func == -1) script_error("Invalid alpha function", st.path, st.line);
            s.alpha_on = true;
            break;
        }
        case KW_NONE:
            script_error("Unknown section variable", st.path, st.line);
    }
}

}  // namespace

int script_lookup(const char* name, const ScriptEnum* table, int count) {
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(table[i].name, name) == 0) return table[i].value;
    }
    return -1;
}

char* script_read_line(char* buffer, int size, ZZIP_FILE* file) {
    int stored = 0;
    while (stored < size - 1) {
        char c;
        if (zzip_fread(&c, 1, 1, file) != 1) break;
        buffer[stored++] = c;
        if (c == '\n' || c == '\r') break;
    }
    if (stored == 0) return nullptr;
    buffer[stored] = '\0';
    return buffer;
}

void script_split(const char* line, char* key, char* value) {
    const char* p = line;
    int k = 0;
    while (*p != ' ' && *p != '\t' && !is_line_end(*p)) {
        if (k < SCRIPT_NAME_SIZE - 1) key[k++] = *p;
        ++p;
    }
    key[k] = '\0';
    while (*p == ' ' || *p == '\t') ++p;
    int v = 0;
    while (!is_line_end(*p)) {
        if (v < SCRIPT_LINE_SIZE - 1) value[v++] = *p;
        ++p;
    }
    value[v] = '\0';
}

int script_parse_vector(const char* text, float* out, int capacity) {
    int count = 0;
    const char* p = text;
    for (;;) {
        while (*p == '{' || *p == ' ' || *p == ',' || *p == '\t') ++p;
        const char* run = p;
        while ((*p >= '0' && *p <= '9') || *p == '.' || *p == '-') ++p;
        if (p == run) return count;
        if (count >= capacity) fatal_error("Script: too many floats in vector '%s'", text);
        std::string number(run, p);
        float v = 0;
        if (std::sscanf(number.c_str(), "%f", &v) != 1) v = 0;
        out[count++] = v;
    }
}

void script_parse(const char* path) {
    ZzipFile file(file_open(path));
    if (file == nullptr) fatal_error("Error opening script '%s'", path);

    ParseState st{path, 1};
    Section* current = nullptr;
    char line[SCRIPT_LINE_SIZE];
    while (script_read_line(line, sizeof line, file.get()) != nullptr) {
        char first = line[0];
        if (first == ';' || first == '\n' || first == '\r') {
            // comment or empty line
        } else if (first == '[') {
            char name[SCRIPT_NAME_SIZE] = "";
            std::sscanf(line, "[%63s", name);
            size_t len = std::strlen(name);
            if (len > 0) name[len - 1] = '\0';  // the closing bracket
            current = section_new();
            int type = section_type_find(name);
            if (type < 0) script_error("Unknown section", st.path, st.line);
            current->type = type;
        } else {
            char key[SCRIPT_NAME_SIZE];
            char value[SCRIPT_LINE_SIZE];
            script_split(line, key, value);
            if (current == nullptr) {
                assign_variable(st, key, value);
            } else {
                apply_keyword(st, *current, keyword_find(key), value);
            }
        }
        ++st.line;
    }
}

namespace {

// Deep enough for any real demo; stops a symbolic-link loop from recursing forever.
constexpr int DISCOVER_MAX_DEPTH = 32;

void discover(const std::string& path, int depth) {
    if (depth > DISCOVER_MAX_DEPTH) return;
    ZzipDir dir(dir_open(path.c_str()));
    if (dir == nullptr) return;
    while (ZZIP_DIRENT* entry = zzip_readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        std::string child = path + "/" + name;
        bool walked = false;
        {
            ZzipDir probe(dir_open(child.c_str()));
            walked = probe != nullptr;
        }
        if (walked) discover(child, depth + 1);
        // A directory or archive named like a script is walked, never parsed.
        if (!walked && name.find(".tvl") != std::string::npos) script_parse(child.c_str());
    }
}

}  // namespace

void script_discover(const char* path) { discover(path, 0); }
