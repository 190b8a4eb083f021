// Command-line options: a table of names, each with the parser of its value, so that a new
// option is one more row.
#include "program/cli.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "base/config.h"

#ifndef TARVEL_VERSION
#define TARVEL_VERSION "unknown"
#endif

namespace {

// A whole string as a finite number; false for anything else (empty, trailing text, inf, nan).
bool parse_number(const std::string& text, double& out) {
    if (text.empty() || text.front() == ' ' || text.front() == '\t') return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtod(text.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(out);
}

bool parse_positive_int(std::string_view text, int& out) {
    if (text.empty() || text.size() > 9) return false;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value <= 0) return false;
    out = static_cast<int>(value);
    return true;
}

std::string bad_value(const std::string& what, const std::string& option, const std::string& value,
                      const char* expected) {
    return "invalid " + what + " for " + option + ": '" + value + "' (" + expected + ")";
}

using ValueParser = std::string (*)(CliOptions&, const std::string& option, const std::string& value);

struct OptionRow {
    const char* name;
    ValueParser parse_value;  // null for a flag
    void (*set_flag)(CliOptions&);
    // A flag that may take a value after '=' (never from the next argument).
    bool value_optional = false;
};

std::string parse_time(std::optional<float>& target, const std::string& option, const std::string& value) {
    double seconds = 0;
    if (!parse_number(value, seconds) || seconds < 0)
        return bad_value("time", option, value, "seconds, 0 or more");
    target = static_cast<float>(seconds);
    return "";
}

std::string parse_count(int& target, const std::string& option, const std::string& value) {
    if (!parse_positive_int(value, target) || target > 1000)
        return bad_value("count", option, value, "a number of spans from 1 to 1000");
    return "";
}

std::string parse_file(std::string& target, const std::string& option, const std::string& value,
                       const char* expected) {
    if (value.empty()) return bad_value("file name", option, value, expected);
    target = value;
    return "";
}

// [ADDR:]PORT, where ADDR is any name or address the server can bind ([...] for IPv6).
std::string parse_serve(CliOptions& o, const std::string& option, const std::string& value) {
    size_t colon = value.rfind(':');
    std::string address = colon == std::string::npos ? o.serve_address : value.substr(0, colon);
    std::string port_text = colon == std::string::npos ? value : value.substr(colon + 1);
    int port = 0;
    bool port_ok = port_text == "0" || (parse_positive_int(port_text, port) && port <= 65535);
    if (!port_ok || address.empty() || address.find_first_of(" \t,") != std::string::npos)
        return bad_value("address", option, value, "[ADDR:]PORT, a port from 0 to 65535");
    o.serve = true;
    o.serve_address = address;
    o.serve_port = port;
    return "";
}

const OptionRow option_table[] = {
    {"--help", nullptr, [](CliOptions& o) { o.help = true; }},
    {"--version", nullptr, [](CliOptions& o) { o.version = true; }},
    {"--start",
     [](CliOptions& o, const std::string& n, const std::string& v) { return parse_time(o.start, n, v); },
     nullptr},
    {"--end",
     [](CliOptions& o, const std::string& n, const std::string& v) { return parse_time(o.end, n, v); },
     nullptr},
    {"--size",
     [](CliOptions& o, const std::string& n, const std::string& v) -> std::string {
         size_t x = v.find('x');
         int w = 0;
         int h = 0;
         if (x == std::string::npos || !parse_positive_int(std::string_view(v).substr(0, x), w) ||
             !parse_positive_int(std::string_view(v).substr(x + 1), h))
             return bad_value("size", n, v, "WIDTHxHEIGHT, two positive whole numbers");
         o.width = w;
         o.height = h;
         return "";
     },
     nullptr},
    {"--fullscreen", nullptr, [](CliOptions& o) { o.fullscreen = true; }},
    {"--no-sound", nullptr, [](CliOptions& o) { o.no_sound = true; }},
    {"--no-dialog", nullptr, [](CliOptions& o) { o.no_dialog = true; }},
    {"--watch", nullptr, [](CliOptions& o) { o.watch = true; }},
    {"--check", nullptr, [](CliOptions& o) { o.check = true; }},
    {"--lsp", nullptr, [](CliOptions& o) { o.lsp = true; }},
    {"--serve", parse_serve, [](CliOptions& o) { o.serve = true; }, true},
    {"--video",
     [](CliOptions& o, const std::string& n, const std::string& v) {
         return parse_file(o.video, n, v, "a file to write");
     },
     nullptr},
    {"--from",
     [](CliOptions& o, const std::string& n, const std::string& v) { return parse_time(o.from, n, v); },
     nullptr},
    {"--to", [](CliOptions& o, const std::string& n, const std::string& v) { return parse_time(o.to, n, v); },
     nullptr},
    {"--profile",
     [](CliOptions& o, const std::string& n, const std::string& v) -> std::string {
         if (v != "web" && v != "compo" && v != "master")
             return bad_value("profile", n, v, "web, compo or master");
         o.profile = v;
         return "";
     },
     nullptr},
    {"--no-audio", nullptr, [](CliOptions& o) { o.no_audio = true; }},
    {"--jobs",
     [](CliOptions& o, const std::string& n, const std::string& v) { return parse_count(o.jobs, n, v); },
     nullptr},
    {"--video-plan",
     [](CliOptions& o, const std::string& n, const std::string& v) {
         return parse_count(o.video_plan.emplace(), n, v);
     },
     nullptr},
    {"--video-join",
     [](CliOptions& o, const std::string& n, const std::string& v) {
         return parse_count(o.video_join.emplace(), n, v);
     },
     nullptr},
    {"--timeline",
     [](CliOptions& o, const std::string& n, const std::string& v) {
         return parse_file(o.timeline, n, v, "an SVG file to write");
     },
     nullptr},
    {"--fps",
     [](CliOptions& o, const std::string& n, const std::string& v) -> std::string {
         double rate = 0;
         if (!parse_number(v, rate) || !(rate > 0) || rate > 1000)
             return bad_value("rate", n, v, "frames per second, above 0");
         o.video_fps = static_cast<float>(rate);
         return "";
     },
     nullptr},
};

const OptionRow* find_option(std::string_view name) {
    for (const OptionRow& row : option_table) {
        if (name == row.name) return &row;
    }
    return nullptr;
}

}  // namespace

CliResult cli_parse(int argc, const char* const* argv) {
    CliResult result;
    CliOptions& o = result.options;
    bool options_done = false;
    std::vector<std::string> operands;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (options_done || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_done = true;
            continue;
        }
        size_t equals = arg.find('=');
        std::string name = arg.substr(0, equals);
        const OptionRow* row = find_option(name);
        if (row == nullptr) {
            result.error = "unrecognized option '" + name + "'";
            return result;
        }
        if (row->parse_value == nullptr || (row->value_optional && equals == std::string::npos)) {
            if (equals != std::string::npos) {
                result.error = "option '" + name + "' takes no value";
                return result;
            }
            row->set_flag(o);
            continue;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            result.error = "option '" + name + "' needs a value";
            return result;
        }
        result.error = row->parse_value(o, name, value);
        if (!result.error.empty()) return result;
    }
    // A plan and a join name the output first: FILE [DEMO_DIR].
    const char* planned = o.video_plan ? "--video-plan" : o.video_join ? "--video-join" : nullptr;
    if (planned != nullptr && o.video.empty()) {
        if (operands.empty()) {
            result.error = std::string(planned) + " needs N and the FILE to write";
            return result;
        }
        if (!operands.front().empty()) o.video = operands.front();
        operands.erase(operands.begin());
    }
    if (operands.size() > 1) {
        result.error = "unexpected argument '" + operands[1] + "' (one DEMO_DIR at most)";
        return result;
    }
    if (!operands.empty() && operands.front().empty()) {
        result.error = "empty DEMO_DIR";
        return result;
    }
    if (!operands.empty()) o.demo_dir = operands.front();
    // The ways of running exclude one another.
    std::vector<const char*> modes;
    if (o.watch) modes.push_back("--watch");
    if (o.check) modes.push_back("--check");
    if (o.lsp) modes.push_back("--lsp");
    if (!o.video.empty()) modes.push_back("--video");
    if (!o.timeline.empty()) modes.push_back("--timeline");
    if (modes.size() > 1)
        result.error = std::string(modes[0]) + " and " + modes[1] + " cannot be used together";
    else if (o.serve && !o.watch)
        result.error = "--serve needs --watch";
    else if (o.video_plan && o.video_join)
        result.error = "--video-plan and --video-join cannot be used together";
    else if (planned != nullptr && o.video.empty())
        result.error = std::string(planned) + " needs the FILE to write";
    else if ((o.from || o.to) && o.video.empty())
        result.error = std::string(o.from ? "--from" : "--to") + " needs --video";
    else if (o.profile != "web" && o.video.empty())
        result.error = "--profile needs --video";
    else if ((o.jobs != 1 || o.no_audio) && o.video.empty())
        result.error = std::string(o.jobs != 1 ? "--jobs" : "--no-audio") + " needs --video";
    else if (o.jobs != 1 && planned != nullptr)
        result.error = std::string("--jobs and ") + planned + " cannot be used together";
    else if (o.from && o.to && !(*o.from < *o.to))
        result.error = "--from must be before --to";
    return result;
}

const char* cli_usage() {
    return "Usage: tarvel [OPTION]... [DEMO_DIR]\n"
           "  or:  tarvel --video-plan N FILE [OPTION]... [DEMO_DIR]\n"
           "Plays the demo described by the scripts (*.tvl) in DEMO_DIR, or in the working\n"
           "directory. Every path in the demo, and its outputs (video/, screenshots), are taken\n"
           "from that folder. The options win over the scripts' settings.\n"
           "\n"
           "  --start SECONDS     play from this time (demo_start)\n"
           "  --end SECONDS       stop at this time (demo_end; 0 plays to the end)\n"
           "  --size WxH          window size in pixels, e.g. 1280x720 (gl_width, gl_height)\n"
           "  --fullscreen        full screen (gl_fullscreen)\n"
           "  --no-sound          no music and no sound device (sound 0)\n"
           "  --video FILE        export the demo with its music into FILE through ffmpeg, at a\n"
           "                      fixed step, without opening a sound device (see --profile)\n"
           "  --profile NAME      what --video writes:\n"
           "                      web (the default): H.264 High, 4:2:0 tagged BT.709, a key\n"
           "                      frame every half second (closed GOP), AAC-LC 48 kHz stereo,\n"
           "                      MP4 with its index at the front (MKV: Matroska; WebM, AVI..:\n"
           "                      ffmpeg's own codecs for them)\n"
           "                      compo: the same at 1920x1080 and 60 frames per second unless\n"
           "                      --size and --fps say otherwise, at 14 Mbit/s for 1080p60 in\n"
           "                      proportion to the pixels per second, 12 at least; AAC 320k\n"
           "                      master: lossless, FFV1 in planar RGB and FLAC, in Matroska\n"
           "                      whatever the extension\n"
           "  --from SECONDS      with --video: write only the frames of the whole export whose\n"
           "  --to SECONDS        times fall from --from to before --to, the same pictures bit for\n"
           "                      bit (the player plays from the start without encoding first)\n"
           "  --no-audio          with --video: the picture only\n"
           "  --jobs N            with --video: render N spans in N processes at once, each\n"
           "                      into a file beside FILE, then join them without encoding them\n"
           "                      again; the music is encoded once, whole; one progress line\n"
           "                      covers all spans, their warm-ups counted\n"
           "  --video-plan N FILE print the work of --video FILE --jobs N as shell lines (with\n"
           "                      the options above): one a span, which may run at once on any\n"
           "                      machines sharing the folders, and last the join, run after them\n"
           "  --video-join N FILE the last line of a plan: join its N spans into FILE\n"
           "  --fps N             frame rate of --video and of `record` (default record_fps)\n"
           "  --watch             the maker's mode: reload whenever a file of the demo changes,\n"
           "                      show errors in the window instead of ending, keys P (pause),\n"
           "                      arrows (seek), Home, [ ] (loop), Backspace, R (reload), and\n"
           "                      commands on standard input (see the README)\n"
           "  --serve[=[ADDR:]PORT]\n"
           "                      with --watch: the maker's console, a page for the browser\n"
           "                      served at ADDR (127.0.0.1) and PORT (8737; 0: any free\n"
           "                      port); its address and token are printed on standard error\n"
           "  --timeline FILE     draw the demo's time line into FILE (SVG) instead of playing:\n"
           "                      a lane per layer, a box per section, syncs, the span, and\n"
           "                      the music's loudness; no window and no sound device\n"
           "  --no-dialog         report errors and the benchmark score on standard error only,\n"
           "                      never in a desktop dialog (also: TARVEL_NO_DIALOG=1)\n"
           "  --check             report every problem of the demo, one a line\n"
           "                      (SCRIPT:LINE: error|warning: MESSAGE), without playing it and\n"
           "                      without a display; status 1 when there are errors\n"
           "  --lsp               a language server for editors on standard input and output\n"
           "  --help              show this help and exit\n"
           "  --version           show the version and exit\n"
           "\n"
           "Exit status: 0 when the demo ended or was closed, 2 for a wrong command line,\n"
           "255 after an error (the message is on standard error).\n";
}

const char* cli_version_line() {
    return "tarvel " TARVEL_VERSION;
}

void cli_apply(const CliOptions& o, Config& settings) {
    if (o.start) settings.demo_start = *o.start;
    if (o.end) settings.demo_end = *o.end;
    if (o.width) settings.gl_width = *o.width;
    if (o.height) settings.gl_height = *o.height;
    if (o.fullscreen) settings.gl_fullscreen = 1;
    if (o.no_sound) settings.sound = 0;
    if (o.video_fps) settings.record_fps = *o.video_fps;
    // A party's compo machine shows 1080p60: the profile's size and rate win over the scripts,
    // the command line's over the profile.
    if (o.profile == "compo" && !o.video.empty()) {
        if (!o.width) settings.gl_width = 1920;
        if (!o.height) settings.gl_height = 1080;
        if (!o.video_fps) settings.record_fps = 60;
    }
}
