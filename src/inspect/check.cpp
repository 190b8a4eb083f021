// The demo checker: the player's own load-time checks, run on a private copy of the scripts'
// settings and sections, with every fatal error taken as a problem instead of an exit.
#include "inspect/check.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>

#include "base/config.h"
#include "base/error.h"
#include "base/io.h"
#include "runtime/sequencer.h"
#include "runtime/registry.h"
#include "runtime/startup.h"
#include "resources/files.h"
#include "resources/font.h"
#include "resources/texture.h"
#include "script/parser.h"
#include "script/section.h"

namespace fs = std::filesystem;

namespace {

// The section types that draw in the camera's space.
constexpr const char* SPATIAL_TYPES[] = {"image",          "imageMatrix", "object",  "objectMatrix",
                                         "particleMatrix", "particleTex", "pathway", "ray"};

void add_error(std::vector<CheckProblem>& problems, const CapturedError& e, const std::string& file = "") {
    std::string script = e.script.empty() ? file : e.script;
    problems.push_back({script, e.line, Severity::Error, e.message});
    if (!e.hint.empty()) problems.push_back({script, e.line, Severity::Hint, e.hint});
}

template <typename Fn>
void capture_into(std::vector<CheckProblem>& problems, Fn&& fn, const std::string& file = "") {
    CapturedError e;
    if (!fatal_capture(fn, e)) add_error(problems, e, file);
}

void warn(std::vector<CheckProblem>& problems, const Section& s, int line, const std::string& message) {
    problems.push_back({s.script, line > 0 ? line : s.line, Severity::Warning, message});
}

std::string format(const char* f, double a, double b = 0, double c = 0, double d = 0) {
    char text[256];
    std::snprintf(text, sizeof text, f, a, b, c, d);
    return text;
}

bool spatial(const Section& s) {
    for (const char* name : SPATIAL_TYPES) {
        if (section_types.find(name) == s.type) return true;
    }
    return false;
}

bool overlap(const Section& a, const Section& b) {
    return a.start < b.end && b.start < a.end;
}

// What the player accepts in a section's span and place but is almost always a mistake.
void span_warnings(std::vector<CheckProblem>& problems, const std::vector<Section*>& sections,
                   const ShowSettings& settings) {
    const Section* first_loading = nullptr;
    for (const Section* s : sections) {
        if (s->type == SECTION_TYPE_LOADING) {
            if (first_loading != nullptr) {
                warn(problems, *s, 0,
                     "a second loading section (the first is at " + first_loading->script + " line " +
                         std::to_string(first_loading->line) + "): only the one read last is shown");
            }
            if (first_loading == nullptr) first_loading = s;
            continue;
        }
        if (s->end_line == 0) {
            warn(problems, *s, 0, "the section has no 'end' and is never played");
            continue;
        }
        if (s->start_line > s->end_line) {
            std::string message =
                format("'end' comes before 'start': the duration stays %g s, counted from %g", s->duration,
                       s->end - s->duration);
            if (s->end <= s->start) message += ", and the section ends before it starts";
            warn(problems, *s, s->start_line, message);
        }
        if (!section_kept_from(settings, s, settings.demo_start)) {
            warn(problems, *s, 0,
                 settings.demo_end == 0.0f
                     ? format("the section (%g to %g s) ends before demo_start (%g s) and is never played",
                              s->start, s->end, settings.demo_start)
                     : format("the section (%g to %g s) lies wholly outside demo_start..demo_end (%g to %g "
                              "s) and "
                              "is never played",
                              s->start, s->end, settings.demo_start, settings.demo_end));
        }
        if (spatial(*s)) {
            const Section* lowest = nullptr;
            for (const Section* c : sections) {
                if (c->type == SECTION_TYPE_CAMERA && c->end_line != 0 && overlap(*c, *s) &&
                    (lowest == nullptr || c->layer < lowest->layer))
                    lowest = c;
            }
            if (lowest != nullptr && s->layer < lowest->layer) {
                warn(problems, *s, 0,
                     "drawn on layer " + std::to_string(s->layer) +
                         ", below every camera that plays with it (the lowest: layer " +
                         std::to_string(lowest->layer) + " at " + lowest->script + " line " +
                         std::to_string(lowest->line) + "), so no camera's view applies to it");
            }
        }
    }
}

std::string normal(const std::string& path) {
    std::string p = fs::path(path).lexically_normal().string();
    return std::string(path_without_dot(p));
}

bool top_level_output(const std::string& relative) {
    // screen00.tga to screen99.tga: the player's screenshots.
    return relative.size() == 12 && relative.rfind("screen", 0) == 0 && std::isdigit(relative[6]) &&
           std::isdigit(relative[7]) && relative.compare(8, 4, ".tga") == 0;
}

// Plain files under the demo's folder that no check opened. Hidden entries and the player's
// own outputs (screenshots, video/) are not the demo's. An archive counts as used when a file
// was opened through the directory it stands for.
void unused_files(std::vector<CheckProblem>& problems, const std::set<std::string>& opened) {
    std::set<std::string> used;
    for (const std::string& p : opened) used.insert(normal(p));
    std::error_code error;
    fs::recursive_directory_iterator it(".", fs::directory_options::skip_permission_denied, error), end;
    std::vector<std::string> unused;
    for (size_t walked = 0; !error && it != end && file_walk_more(walked++); it.increment(error)) {
        const std::string name = it->path().filename().string();
        const std::string relative = normal(it->path().string());
        if (name.front() == '.' || (it.depth() == 0 && name == "video")) {
            if (it->is_directory(error)) it.disable_recursion_pending();
            continue;
        }
        if (!it->is_regular_file(error) || used.count(relative) != 0 || top_level_output(relative)) continue;
        const std::string stands_for = file_archive_folder(relative);
        bool through = std::any_of(used.begin(), used.end(),
                                   [&](const std::string& u) { return u.rfind(stands_for + "/", 0) == 0; });
        if (!through) unused.push_back("./" + relative);
    }
    std::sort(unused.begin(), unused.end());
    for (const std::string& file : unused)
        problems.push_back({file, 0, Severity::Warning, "no script uses this file"});
}

}  // namespace

std::vector<CheckProblem> demo_check(bool decode_files, const CheckSources& sources) {
    std::vector<CheckProblem> problems;
    Config settings;
    SectionList scratch;
    LoadContext files;
    files.pictures_checked = sources.pictures_checked;
    files.walk_bound = sources.walk_bound;
    LoadScope in_force(files);
    // Warnings of the file layer (a picture named as another format) become problems at the
    // place in force.
    WarningCapture warnings([&problems](const char* message) {
        const ErrorPlace* place = error_place();
        problems.push_back({place != nullptr ? place->script : "", place != nullptr ? place->line : 0,
                            Severity::Warning, message});
    });

    ScriptRead read(section_types, settings);
    read.problems = &problems;
    read.texts = sources.texts;
    script_discover(".", scratch, read);

    std::vector<Section*> sections;
    for (Section* s = scratch.head; s != nullptr; s = s->next) sections.insert(sections.begin(), s);

    capture_into(problems, [&settings] { demo_settings_check(settings); });
    if (std::none_of(sections.begin(), sections.end(),
                     [](const Section* s) { return s->type == SECTION_TYPE_LOADING; }))
        problems.push_back({"", 0, Severity::Error, "Loading section not found"});
    span_warnings(problems, sections, settings);
    for (Section* s : sections) {
        capture_into(problems, [&] {
            ErrorPlace place = section_at(*s);
            if (decode_files) section_load_splines(*s);
            section_types[s->type]->check(*s, section_types, decode_files);
        });
    }
    if (decode_files) {
        capture_into(
            problems,
            [] {
                font_require_file();
                texture_check(FONT_FILE);
            },
            FONT_FILE);
        unused_files(problems, files.opened);
    }
    std::stable_sort(problems.begin(), problems.end(), [](const CheckProblem& a, const CheckProblem& b) {
        if (a.script.empty() != b.script.empty()) return b.script.empty();
        if (a.script != b.script) return a.script < b.script;
        return a.line < b.line;
    });
    return problems;
}

int check_report(const std::vector<CheckProblem>& problems, std::FILE* out) {
    int errors = 0;
    int warnings = 0;
    for (const CheckProblem& p : problems) {
        const char* severity = "hint";
        if (p.severity == Severity::Error) {
            severity = "error";
            ++errors;
        } else if (p.severity == Severity::Warning) {
            severity = "warning";
            ++warnings;
        }
        std::string where = p.script.empty() ? "tarvel" : p.script;
        if (p.line > 0) where += ":" + std::to_string(p.line);
        // One line each: the line ends some messages carry go.
        std::string message = p.message;
        message.erase(message.find_last_not_of("\r\n") + 1);
        std::replace(message.begin(), message.end(), '\n', ' ');
        std::fprintf(out, "%s: %s: %s\n", where.c_str(), severity, message.c_str());
    }
    std::fprintf(out, "%d errors, %d warnings\n", errors, warnings);
    return errors > 0 ? 1 : 0;
}
