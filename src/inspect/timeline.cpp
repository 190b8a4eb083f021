// The time line picture: layout (pure), collection from the parsed sections and the music,
// and the all-or-nothing write.
#include "inspect/timeline.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/io.h"
#include "base/error.h"
#include "inspect/music_mix.h"
#include "runtime/registry.h"
#include "runtime/sequencer.h"
#include "script/section.h"

namespace {

// --- Layout ---

constexpr float RIGHT_PAD = 40;
constexpr float ROW_H = 24;       // one row of boxes
constexpr float LANE_PAD = 3;     // above and below the rows of a lane
constexpr float STRIP_H = 60;     // the loudness strip
constexpr float MIN_BOX_W = 3;    // a section without a span still shows
constexpr float MIN_BAR_W = 2;    // loudness bars are at least this wide
constexpr float LOADING_W = 260;  // the loading screen's box, which has no place in time
constexpr float GRID_STEPS[] = {0.5f, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 1200, 3600};
constexpr float MIN_GRID_PX = 40;

const char* const STYLE =
    ".bg{fill:#fff}"
    "text{fill:#1a1a1a}"
    ".title{font-size:16px;font-weight:bold}"
    ".box{stroke-width:1}"
    ".scene .box{fill:#a6c8ec;stroke:#2f5f8f}"
    ".particles .box{fill:#f7c18f;stroke:#a35a12}"
    ".effect .box{fill:#b5dcae;stroke:#3c7a33}"
    ".sound .box{fill:#dcc0e0;stroke:#7a4581}"
    ".outside{opacity:.35}"
    ".noend .box,.loading .box{stroke-dasharray:4 2}"
    ".lane{fill:#f4f4f4}"
    ".grid{stroke:#d4d4d4}"
    ".tick{font-size:11px;text-anchor:middle;fill:#555}"
    ".sync{stroke:#b00020;stroke-width:2}"
    ".mark{stroke:#b00020;stroke-width:1.5;stroke-dasharray:6 3}"
    ".marklabel{font-size:11px;fill:#b00020}"
    ".marklabel.end{text-anchor:end}"
    ".level{fill:#7a4581}"
    ".bar{stroke:#4a4a9a;stroke-opacity:.3}"
    ".bar.four{stroke-opacity:.75;stroke-width:1.5}";

const char* kind_class(TimelineKind kind) {
    switch (kind) {
        case TimelineKind::Particles:
            return "particles";
        case TimelineKind::Effect:
            return "effect";
        case TimelineKind::Sound:
            return "sound";
        case TimelineKind::Scene:
            break;
    }
    return "scene";
}

// A number as short as it reads: at most two decimals, no trailing zeros.
std::string num(double v) {
    char text[48];
    std::snprintf(text, sizeof text, "%.2f", v);
    std::string s = text;
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

std::string box_label(const TimelineBox& b) {
    return b.file.empty() ? b.type : b.type + " " + b.file;
}

struct Placed {
    const TimelineBox* box;
    int row;  // within its lane
};

struct Lane {
    int layer;
    int rows = 0;
    std::vector<Placed> boxes;
};

// Lanes from the highest layer (drawn last, over the others) down; within a lane, each box goes
// to the first row where it overlaps nothing.
std::vector<Lane> lanes_of(const std::vector<TimelineBox>& boxes, float scale) {
    std::vector<const TimelineBox*> order;
    for (const TimelineBox& b : boxes) order.push_back(&b);
    std::stable_sort(order.begin(), order.end(),
                     [](const TimelineBox* a, const TimelineBox* b) { return a->start < b->start; });
    std::vector<Lane> lanes;
    std::vector<std::vector<float>> row_ends;
    for (const TimelineBox* b : order) {
        auto it =
            std::find_if(lanes.begin(), lanes.end(), [&](const Lane& l) { return l.layer == b->layer; });
        if (it == lanes.end()) {
            lanes.push_back({b->layer});
            row_ends.emplace_back();
            it = lanes.end() - 1;
        }
        std::vector<float>& ends = row_ends[static_cast<size_t>(it - lanes.begin())];
        float end = std::max(b->end, b->start + MIN_BOX_W / scale);
        size_t row = 0;
        while (row < ends.size() && ends[row] > b->start) ++row;
        if (row == ends.size()) ends.push_back(end);
        ends[row] = end;
        it->rows = std::max(it->rows, static_cast<int>(row) + 1);
        it->boxes.push_back({b, static_cast<int>(row)});
    }
    std::sort(lanes.begin(), lanes.end(), [](const Lane& a, const Lane& b) { return a.layer > b.layer; });
    return lanes;
}

// The latest time the picture must reach.
float axis_reach(const TimelineInput& in) {
    float reach = std::max({1.0f, in.demo_start, in.demo_end});
    for (const TimelineBox& b : in.boxes) {
        reach = std::max({reach, b.start, b.end});
        for (float s : b.syncs) reach = std::max(reach, s);
    }
    return std::min(reach, 1e6f);
}

struct Svg {
    std::string out;
    void add(const char* format, ...) TARVEL_PRINTF(2, 3) {
        char buffer[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(buffer, sizeof buffer, format, args);
        va_end(args);
        out += buffer;
    }
    void text(float x, float y, const char* cls, const std::string& content) {
        add("<text class=\"%s\" x=\"%s\" y=\"%s\">", cls, num(x).c_str(), num(y).c_str());
        out += xml_escape(content) + "</text>\n";
    }
    void rect(const char* cls, float x, float y, float w, float h) {
        add("<rect class=\"%s\" x=\"%s\" y=\"%s\" width=\"%s\" height=\"%s\"/>\n", cls, num(x).c_str(),
            num(y).c_str(), num(w).c_str(), num(h).c_str());
    }
    void line(const char* cls, float x1, float y1, float x2, float y2) {
        add("<line class=\"%s\" x1=\"%s\" y1=\"%s\" x2=\"%s\" y2=\"%s\"/>\n", cls, num(x1).c_str(),
            num(y1).c_str(), num(x2).c_str(), num(y2).c_str());
    }
    // Opens the group of a box with its tooltip, its label clipped to it; the caller adds what
    // else belongs to the box and closes the group.
    void box(const char* group_class, float x, float y, float w, const std::string& label,
             const std::string& tip) {
        add("<g class=\"%s\"><title>", group_class);
        out += xml_escape(tip) + "</title>\n";
        rect("box", x, y, w, ROW_H - 2);
        add("<svg x=\"%s\" y=\"%s\" width=\"%s\" height=\"%s\">", num(x).c_str(), num(y).c_str(),
            num(w).c_str(), num(ROW_H - 2).c_str());
        text(4, 15, "label", label);
        out += "</svg>\n";
    }
};

}  // namespace

TimelineKind timeline_kind(const std::string& type) {
    if (type == "sound") return TimelineKind::Sound;
    if (type.rfind("efx", 0) == 0) return TimelineKind::Effect;
    if (type == "particleMatrix" || type == "particleTex" || type == "pathway")
        return TimelineKind::Particles;
    return TimelineKind::Scene;
}

float timeline_scale(float length) {
    for (float scale : timeline_scales) {
        if (length * scale <= TIMELINE_AXIS_WIDTH) return scale;
    }
    return timeline_scales[std::size(timeline_scales) - 1];
}

float timeline_grid_step(float scale) {
    for (float step : GRID_STEPS) {
        if (step * scale >= MIN_GRID_PX) return step;
    }
    return GRID_STEPS[std::size(GRID_STEPS) - 1];
}

std::string xml_escape(const std::string& text) {
    static const char* const REPLACEMENT = "\xEF\xBF\xBD";
    std::string out;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        unsigned char c = *p;
        if (c < 0x80) {
            const char* entity = c == '&'    ? "&amp;"
                                 : c == '<'  ? "&lt;"
                                 : c == '>'  ? "&gt;"
                                 : c == '"'  ? "&quot;"
                                 : c == '\'' ? "&apos;"
                                             : nullptr;
            if (entity != nullptr)
                out += entity;
            else if (c < 0x20 && c != '\t' && c != '\n')
                out += REPLACEMENT;
            else
                out += static_cast<char>(c);
            ++p;
            continue;
        }
        // A UTF-8 sequence passes whole when it is the shortest form of a character XML allows.
        int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        unsigned long code = length == 4 ? c & 0x07u : length == 3 ? c & 0x0Fu : c & 0x1Fu;
        bool valid = length > 0 && end - p >= length;
        for (int i = 1; valid && i < length; ++i) {
            valid = (p[i] & 0xC0) == 0x80;
            code = code << 6 | (p[i] & 0x3Fu);
        }
        static const unsigned long SHORTEST[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && code >= SHORTEST[length] && code <= 0x10FFFF &&
                !(code >= 0xD800 && code <= 0xDFFF) && code != 0xFFFE && code != 0xFFFF;
        if (valid) {
            out.append(reinterpret_cast<const char*>(p), static_cast<size_t>(length));
            p += length;
        } else {
            out += REPLACEMENT;
            ++p;
        }
    }
    return out;
}

namespace {

// Where everything of the picture goes: the time scale and the rows from the top (title,
// legend, the loading screen, the axis labels, the lanes, the loudness strip, the marks' labels).
struct Layout {
    float scale, step, length, width, height;
    float title_y, legend_y, loading_y, ticks_y;
    float lanes_top, lanes_bottom, strip_top, strip_bottom;
    std::vector<Lane> lanes;

    float x_at(float t) const { return TIMELINE_LEFT + t * scale; }

    explicit Layout(const TimelineInput& in) {
        const float reach = axis_reach(in);
        scale = timeline_scale(reach);
        step = timeline_grid_step(scale);
        length = std::ceil(reach / step) * step;
        width = x_at(length) + RIGHT_PAD;
        lanes = lanes_of(in.boxes, scale);
        float y = 24;
        title_y = y;
        y += 20;
        legend_y = y;
        y += 14;
        loading_y = y;
        if (in.loading) y += ROW_H + 10;
        ticks_y = y + 10;
        lanes_top = y + 16;
        lanes_bottom = lanes_top;
        for (const Lane& lane : lanes) lanes_bottom += lane.rows * ROW_H + 2 * LANE_PAD;
        strip_top = lanes_bottom + 10;
        strip_bottom = strip_top + STRIP_H;
        height = strip_bottom + 34;
    }
};

void write_head(Svg& svg, const TimelineInput& in, const Layout& at) {
    svg.add(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%s\" height=\"%s\" viewBox=\"0 0 %s %s\" "
        "font-family=\"sans-serif\" font-size=\"12\">\n",
        num(at.width).c_str(), num(at.height).c_str(), num(at.width).c_str(), num(at.height).c_str());
    svg.out += "<style>" + std::string(STYLE) + "</style>\n";
    svg.rect("bg", 0, 0, at.width, at.height);
    svg.text(10, at.title_y, "title",
             in.title + " \u2014 " + std::to_string(in.boxes.size()) + " sections, " + num(at.length) + " s");
}

void write_legend(Svg& svg, const TimelineInput& in, const Layout& at) {
    const float legend_y = at.legend_y;
    float lx = 10;
    const std::pair<TimelineKind, const char*> legend[] = {{TimelineKind::Scene, "scene"},
                                                           {TimelineKind::Particles, "particles"},
                                                           {TimelineKind::Effect, "effects"},
                                                           {TimelineKind::Sound, "sound"}};
    for (const auto& [kind, name] : legend) {
        svg.add("<g class=\"%s\">", kind_class(kind));
        svg.rect("box", lx, legend_y - 10, 14, 12);
        svg.out += "</g>\n";
        svg.text(lx + 18, legend_y, "legend", name);
        lx += 90;
    }
    svg.line("sync", lx + 6, legend_y - 11, lx + 6, legend_y + 2);
    svg.text(lx + 14, legend_y, "legend", "sync");
    lx += 60;
    svg.line("mark", lx, legend_y - 11, lx, legend_y + 2);
    svg.text(lx + 8, legend_y, "legend", "demo_start, demo_end");
    lx += 150;
    svg.out += "<g class=\"scene outside\">";
    svg.rect("box", lx, legend_y - 10, 14, 12);
    svg.out += "</g>\n";
    svg.text(lx + 18, legend_y, "legend", "outside them: not played");
    if (in.tempo.set()) {
        lx += 180;
        svg.line("bar four", lx, legend_y - 11, lx, legend_y + 2);
        svg.text(lx + 8, legend_y, "legend",
                 "bars: " + num(in.tempo.bpm) + " bpm, " + std::to_string(in.tempo.beats_per_bar) + " beats");
    }
}

void write_loading(Svg& svg, const TimelineInput& in, const Layout& at) {
    if (!in.loading) return;
    svg.text(10, at.loading_y + 15, "lanelabel", "loading screen");
    svg.box("loading scene", TIMELINE_LEFT, at.loading_y, std::min(LOADING_W, at.length * at.scale),
            box_label(*in.loading) + " (while the demo loads)",
            box_label(*in.loading) + "\nshown while the demo loads, before the show");
    svg.out += "</g>\n";
}

// The lanes' backgrounds and labels and the loudness strip's, then the grid and its times over
// them.
void write_axis(Svg& svg, const TimelineInput& in, const Layout& at) {
    float lane_y = at.lanes_top;
    for (size_t i = 0; i < at.lanes.size(); ++i) {
        float h = at.lanes[i].rows * ROW_H + 2 * LANE_PAD;
        if (i % 2 == 0) svg.rect("lane", 0, lane_y, at.width, h);
        svg.text(10, lane_y + LANE_PAD + 15, "lanelabel", "layer " + std::to_string(at.lanes[i].layer));
        lane_y += h;
    }
    svg.rect("lane", 0, at.strip_top, at.width, STRIP_H);
    svg.text(10, at.strip_top + STRIP_H / 2 + 4, "lanelabel", in.music ? "music (RMS)" : "no music");
    int grid_lines = static_cast<int>(std::lround(at.length / at.step));
    for (int i = 0; i <= grid_lines; ++i) {
        float t = static_cast<float>(i) * at.step;
        svg.line("grid", at.x_at(t), at.lanes_top, at.x_at(t), at.strip_bottom);
        svg.text(at.x_at(t), at.ticks_y, "tick", num(t));
    }
}

// The sections' boxes, lane by lane, each with its sync marks.
void write_lanes(Svg& svg, const Layout& at) {
    float lane_y = at.lanes_top;
    for (const Lane& lane : at.lanes) {
        for (const Placed& p : lane.boxes) {
            const TimelineBox& b = *p.box;
            const bool no_end = !(b.end > b.start);
            float x = at.x_at(b.start);
            float w = no_end ? MIN_BOX_W : (b.end - b.start) * at.scale;
            float top = lane_y + LANE_PAD + static_cast<float>(p.row) * ROW_H + 1;
            std::string cls = std::string("section ") + kind_class(timeline_kind(b.type));
            if (!b.kept) cls += " outside";
            if (no_end) cls += " noend";
            std::string tip = box_label(b) + "\n" + num(b.start) + " s to " +
                              (no_end ? std::string("(no end)") : num(b.end) + " s") + ", layer " +
                              std::to_string(b.layer);
            svg.box(cls.c_str(), x, top, std::max(w, MIN_BOX_W), box_label(b), tip);
            for (float sync : b.syncs) svg.line("sync", at.x_at(sync), top, at.x_at(sync), top + ROW_H - 2);
            svg.out += "</g>\n";
        }
        lane_y += lane.rows * ROW_H + 2 * LANE_PAD;
    }
}

// Bar lines over the boxes, from bar 1 at 0 s to the axis's end.
void write_bars(Svg& svg, const TimelineInput& in, const Layout& at) {
    if (!in.tempo.set()) return;
    const double bar_seconds = in.tempo.seconds_per_bar();
    double every = 1;
    while (every * bar_seconds * at.scale < TIMELINE_MIN_BAR_PX) every *= 4;
    for (double bar = 0; bar * bar_seconds <= at.length + 1e-3; bar += every) {
        const float x = at.x_at(static_cast<float>(bar * bar_seconds));
        svg.line(std::fmod(bar, 4) == 0 ? "bar four" : "bar", x, at.lanes_top, x, at.lanes_bottom);
    }
}

// Loudness: bars of whole slices, at least MIN_BAR_W wide, centred on the strip.
void write_loudness(Svg& svg, const TimelineInput& in, const Layout& at) {
    const size_t per_bar =
        static_cast<size_t>(std::max(1.0f, std::ceil(MIN_BAR_W / (TIMELINE_SLICE * at.scale) - 1e-4f)));
    const float centre = at.strip_top + STRIP_H / 2;
    svg.out += "<g class=\"loudness\">\n";
    for (size_t first = 0; first < in.loudness.size(); first += per_bar) {
        size_t last = std::min(in.loudness.size(), first + per_bar);
        double power = 0;
        for (size_t i = first; i < last; ++i) power += static_cast<double>(in.loudness[i]) * in.loudness[i];
        double level = std::sqrt(power / static_cast<double>(last - first));
        if (!(level > 0)) continue;
        double db = 20.0 * std::log10(level);
        float h = (STRIP_H - 4) * static_cast<float>(std::clamp(1.0 - db / TIMELINE_FLOOR_DB, 0.0, 1.0));
        if (h < 0.5f) continue;
        float x = at.x_at(static_cast<float>(first) * TIMELINE_SLICE);
        float w = static_cast<float>(last - first) * TIMELINE_SLICE * at.scale;
        svg.rect("level", x, centre - h / 2, w, h);
    }
    svg.out += "</g>\n";
}

// The demo's window over everything.
void write_marks(Svg& svg, const TimelineInput& in, const Layout& at) {
    float show_end = in.demo_end;
    std::string end_label = "demo_end " + num(in.demo_end);
    if (!(show_end > 0)) {
        show_end = in.demo_start;
        for (const TimelineBox& b : in.boxes) {
            if (b.kept) show_end = std::max(show_end, b.end);
        }
        end_label = "end (demo_end 0: the last section's end)";
    }
    const std::pair<float, std::string> marks[] = {{in.demo_start, "demo_start " + num(in.demo_start)},
                                                   {show_end, end_label}};
    for (size_t i = 0; i < std::size(marks); ++i) {
        float x = at.x_at(marks[i].first);
        svg.line("mark", x, at.lanes_top, x, at.strip_bottom + 6);
        // The end's label reads leftwards from its line, so that it stays in the picture.
        svg.text(i == 0 ? x + 3 : x - 3, at.strip_bottom + 18 + 12 * static_cast<float>(i),
                 i == 0 ? "marklabel" : "marklabel end", marks[i].second);
    }
}

}  // namespace

std::string timeline_svg(const TimelineInput& in) {
    const Layout at(in);
    Svg svg;
    write_head(svg, in, at);
    write_legend(svg, in, at);
    write_loading(svg, in, at);
    write_axis(svg, in, at);
    write_lanes(svg, at);
    write_bars(svg, in, at);
    write_loudness(svg, in, at);
    write_marks(svg, in, at);
    svg.out += "</svg>\n";
    return svg.out;
}

namespace {

// --- From the parsed scripts ---

// Times as the picture can place them: a script may give infinities or NaN, or seconds past
// any demo's length.
float placeable(float t) {
    return std::isfinite(t) ? std::clamp(t, 0.0f, 1e6f) : std::isnan(t) ? 0.0f : 1e6f;
}

// What names a section best: its mesh for the 3D objects, else its first string (a picture, a
// music file, the section type efxRepeat repeats), else its first spline.
std::string main_file(const Section& s, const std::string& type) {
    if ((type == "object" || type == "objectMatrix") && s.string_count >= 3)
        return s.strings[1] + s.strings[2];
    if (s.string_count > 0 && type != "object") return s.strings[0];
    if (s.spline_count > 0) return s.spline_names[0];
    return "";
}

TimelineBox box_of(const Demo& demo, const Section& s) {
    TimelineBox b;
    b.type = demo.types[s.type]->name;
    b.file = main_file(s, b.type);
    b.start = placeable(s.start);
    b.end = placeable(s.end);
    b.layer = s.layer;
    for (int i = 0; i < s.sync_count; ++i) b.syncs.push_back(placeable(s.syncs[i]));
    b.kept = section_keep(demo, &s);
    b.script = s.script;
    b.line = s.line;
    if (!b.file.empty()) b.files.push_back(b.file);
    auto add = [&b](const std::string& name) {
        if (!name.empty() && std::find(b.files.begin(), b.files.end(), name) == b.files.end())
            b.files.push_back(name);
    };
    for (int i = 0; i < s.string_count; ++i) add(s.strings[i]);
    for (int i = 0; i < s.spline_count; ++i) add(s.spline_names[i]);
    return b;
}

constexpr int LOUDNESS_RATE = 24000;  // enough for a level; modules render at it directly
constexpr long SLICE_FRAMES = 1200;   // TIMELINE_SLICE at LOUDNESS_RATE
// Music is measured for its first hour at most: a module can claim to last for days.
constexpr float MEASURED_SECONDS = 3600;

void measure_music(const Demo& demo, TimelineInput& in) {
    float reach = std::min(axis_reach(in), MEASURED_SECONDS);
    long slices = static_cast<long>(std::ceil(reach / TIMELINE_SLICE));
    MusicMixPtr music = music_mix_open(demo, 0.0, slices * SLICE_FRAMES, LOUDNESS_RATE, "");
    if (music == nullptr) return;
    in.music = true;
    std::vector<float> frames(2 * SLICE_FRAMES);
    in.loudness.reserve(static_cast<size_t>(slices));
    for (long i = 0; i < slices && !music_mix_done(*music); ++i) {
        music_mix_read(*music, frames.data(), SLICE_FRAMES);
        double power = 0;
        for (float v : frames) power += static_cast<double>(v) * v;
        in.loudness.push_back(static_cast<float>(std::sqrt(power / static_cast<double>(frames.size()))));
    }
}

}  // namespace

TimelineInput timeline_collect(const Demo& demo, const std::string& name, bool measure) {
    TimelineInput in;
    in.title = name.empty() ? "Tarvel demo" : name;
    in.demo_start = placeable(demo.settings.demo_start);
    in.demo_end = placeable(demo.settings.demo_end);
    in.tempo = tempo_of(demo.settings);
    // The loading screen is the loading section the load phase picks: the last one parsed.
    const Section* loading = nullptr;
    std::vector<const Section*> parsed;
    for (const Section* s = demo.sections.head; s != nullptr; s = s->next) {
        if (loading == nullptr && s->type == SECTION_TYPE_LOADING) loading = s;
        parsed.insert(parsed.begin(), s);
    }
    for (const Section* s : parsed) {
        if (s == loading)
            in.loading = box_of(demo, *s);
        else
            in.boxes.push_back(box_of(demo, *s));
    }
    if (measure) measure_music(demo, in);
    return in;
}

void timeline_measure(const Demo& demo, TimelineInput& in) {
    measure_music(demo, in);
}

std::string timeline_music_key(const TimelineInput& in) {
    std::string key = num(axis_reach(in));
    for (const TimelineBox& b : in.boxes) {
        if (timeline_kind(b.type) != TimelineKind::Sound) continue;
        key += "|" + num(b.start) + " " + num(b.end);
        for (const std::string& file : b.files) {
            // A file read from an archive has no stamp of its own.
            struct stat st {};
            if (stat(file.c_str(), &st) != 0) return "";
            key += " " + file + " " + std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) +
                   "." + std::to_string(st.st_mtim.tv_nsec);
        }
    }
    return key;
}

void timeline_write(const Demo& demo, const std::string& name, const std::string& path) {
    const std::string svg = timeline_svg(timeline_collect(demo, name));
    std::string temp = path + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) fatal_error("Cannot write the timeline '%s': %s", path.c_str(), std::strerror(errno));
    // As an ordinary new file would be: readable by all unless the umask says otherwise.
    mode_t mask = umask(0);
    umask(mask);
    int error = fchmod(fd, 0666 & ~mask) == 0 ? 0 : errno;
    if (error == 0) error = fd_write_all(fd, svg);
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        unlink(temp.c_str());
        fatal_error("Cannot write the timeline '%s': %s", path.c_str(), std::strerror(error));
    }
}
