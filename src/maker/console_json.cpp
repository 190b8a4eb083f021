// The console's timeline.json, from the time line's input and the problems of the last load.
#include <algorithm>
#include <cmath>

#include <nlohmann/json.hpp>

#include "maker/console.h"
#include "inspect/timeline.h"
#include "script/problem.h"

namespace {

using nlohmann::json;

// Times and levels to the thousandth: the page draws pixels, not digits.
double rounded(float v) {
    return std::round(static_cast<double>(v) * 1000.0) / 1000.0;
}

json box_json(const TimelineBox& b) {
    json syncs = json::array();
    for (float s : b.syncs) syncs.push_back(rounded(s));
    return {{"type", b.type},     {"layer", b.layer}, {"start", rounded(b.start)}, {"end", rounded(b.end)},
            {"script", b.script}, {"line", b.line},   {"files", b.files},          {"file", b.file},
            {"syncs", syncs},     {"kept", b.kept}};
}

const char* severity_name(Severity s) {
    return s == Severity::Error ? "error" : s == Severity::Warning ? "warning" : "hint";
}

}  // namespace

std::string console_timeline_json(const TimelineInput& in, const std::vector<CheckProblem>& problems) {
    json sections = json::array();
    float last_end = in.demo_start;
    for (const TimelineBox& b : in.boxes) {
        sections.push_back(box_json(b));
        if (b.kept) last_end = std::max(last_end, b.end);
    }
    json levels = json::array();
    for (float v : in.loudness) levels.push_back(rounded(v));
    json listed = json::array();
    for (const CheckProblem& p : problems) {
        if (p.severity == Severity::Hint && !listed.empty()) {
            listed.back()["hint"] = p.message;
            continue;
        }
        listed.push_back({{"severity", severity_name(p.severity)},
                          {"script", p.script},
                          {"line", p.line},
                          {"message", p.message},
                          {"hint", ""}});
    }
    json out = {
        {"title", in.title},
        {"demo_start", rounded(in.demo_start)},
        // demo_end 0 plays to the last section's end: the page is given that end.
        {"demo_end", rounded(in.demo_end > 0 ? in.demo_end : last_end)},
        // The tempo: beats a minute and a bar, null without one.
        {"tempo", in.tempo.set() ? json{{"bpm", in.tempo.bpm}, {"beats_per_bar", in.tempo.beats_per_bar}}
                                 : json(nullptr)},
        {"sections", sections},
        {"loading", in.loading ? box_json(*in.loading) : json(nullptr)},
        {"loudness",
         {{"slice", rounded(TIMELINE_SLICE)}, {"floor_db", TIMELINE_FLOOR_DB}, {"levels", levels}}},
        {"problems", listed}};
    return out.dump(-1, ' ', false, json::error_handler_t::replace);
}
