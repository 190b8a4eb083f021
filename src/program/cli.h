// The command line: `tarvel [OPTION]... [DEMO_DIR]`. Parsing is pure (no files, no window), so
// every option and every refusal can be checked without starting anything.
#pragma once

#include <optional>
#include <string>

struct CliOptions {
    bool help = false;
    bool version = false;
    std::string demo_dir;  // "" plays the demo in the working directory
    std::optional<float> start;
    std::optional<float> end;
    std::optional<int> width;
    std::optional<int> height;
    bool fullscreen = false;
    bool no_sound = false;
    bool no_dialog = false;
    bool watch = false;  // the maker's mode
    bool check = false;
    bool lsp = false;   // a language server on standard input and output
    std::string video;  // "" when not exporting
    std::optional<float> video_fps;
    // With --video: the span of the whole export's frames to write, [from, to).
    std::optional<float> from;
    std::optional<float> to;
    std::string profile = "web";
    bool no_audio = false;  // --no-audio: the picture only
    // --jobs N: the export in N spans rendered by N processes at once, then joined.
    int jobs = 1;
    // --video-plan N FILE: print the shell lines of such an export instead of running it;
    // --video-join N FILE: the last of them, joining the spans' files.
    std::optional<int> video_plan;
    std::optional<int> video_join;
    std::string timeline;  // "" unless drawing the time line instead of playing
    // The maker's console (--serve, with --watch only): its address and port; port 0 takes
    // any free one.
    bool serve = false;
    std::string serve_address = "127.0.0.1";
    int serve_port = 8737;
};

struct CliResult {
    CliOptions options;
    // A usage error: one line naming the problem (without the program name); "" when the
    // command line is good.
    std::string error;
};

CliResult cli_parse(int argc, const char* const* argv);

// The text --help prints.
const char* cli_usage();

// "tarvel VERSION".
const char* cli_version_line();

struct Config;

// Assigns in `settings` the variables the options name; called after the scripts are read into
// it, so that the command line wins over the scripts.
void cli_apply(const CliOptions& options, Config& settings);
