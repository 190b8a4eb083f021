// The maker's mode: the demo plays, its folder is watched, and a change rebuilds the demo at the
// same demo time. Every error on the way is shown and waited out, never fatal.
#include "maker/maker.h"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio/sound_system.h"
#include "base/config.h"
#include "base/error.h"
#include "gfx/window.h"
#include "inspect/beats.h"
#include "inspect/check.h"
#include "maker/console.h"
#include "maker/maker_channels.h"
#include "maker/maker_commands.h"
#include "maker/maker_folder.h"
#include "maker/maker_panel.h"
#include "maker/maker_playback.h"
#include "maker/maker_splines.h"
#include "resources/font.h"
#include "resources/texture.h"
#include "runtime/capture.h"
#include "runtime/keys.h"
#include "runtime/registry.h"
#include "runtime/sequencer.h"
#include "runtime/startup.h"
#include "script/parser.h"
#include "sections/demo.h"

namespace {

// The pause between two looks at the window and the input while nothing plays, and the longest
// time a still picture goes without being drawn again.
constexpr int IDLE_WAIT_MS = 20;
constexpr Uint32 STILL_REDRAW_MS = 500;

// A fatal error of the maker's mode: reported, then caught by the loop instead of ending.
struct MakerFailure {
    std::string message;
};

[[noreturn]] void report_and_throw(const char* message) {
    std::fprintf(stderr, "Error: %s\n", message);
    std::fflush(stderr);
    throw MakerFailure{message};
}

// Owns the parts and runs the loop: the window and font it keeps open, the demo's playback, the
// folder it watches, the channels commands come by.
class Maker {
  public:
    explicit Maker(const MakerOptions& options) : options_(options) {}
    int run();

  private:
    Config read_scripts(SectionList& into);
    void load(bool first);
    TexturePool tear_down(const std::vector<std::string>& changed, FileSnapshot scan);
    bool build(bool first, float& resume_at, TexturePool pool);
    void finish_load(bool first);
    void go_broken(const std::string& message, float at);
    void close_demo();
    void frame();
    void show_still();
    void step();
    void handle_event(const SDL_Event& event);
    bool key(const SDL_Event& event);
    std::string answer(const std::string& line, bool from_console);
    std::string do_screenshot(const std::string& file, WriteAsker who);
    void spline_changed(const std::string& file);

    const MakerOptions& options_;
    int frame_targets_ = 0;  // texture slots made with the window
    bool font_loaded_ = false;
    Playback play_;
    FolderWatch folder_;
    InputLines input_;
    ConsoleChannel console_;
    SplineEdits splines_;
    std::vector<CheckProblem> problems_;  // of the last load, and what failed since
    bool dirty_ = true;  // the still picture must be drawn again (an event, a command, a reload)
    Uint32 still_ticks_ = 0;
    bool quit_ = false;
};

// The scripts as they are now, and the settings they give with the command line's over them.
Config Maker::read_scripts(SectionList& into) {
    Config settings;
    script_read_all(into, {section_types, settings});
    options_.apply_command_line(settings);
    return settings;
}

// One line whatever a message holds: some end in a line feed of their own.
std::string one_line(std::string text) {
    text.erase(text.find_last_not_of("\r\n") + 1);
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

// The first error the checks find in the scripts as they are now, worded as the player words it
// (with its place and hint); "" when there is none.
std::string first_script_error(const std::vector<CheckProblem>& problems) {
    for (size_t i = 0; i < problems.size(); ++i) {
        const CheckProblem& p = problems[i];
        if (p.severity != Severity::Error) continue;
        if (p.line <= 0) return p.message;
        const bool hinted = i + 1 < problems.size() && problems[i + 1].severity == Severity::Hint;
        return error_located(p.message, p.script, p.line, hinted ? problems[i + 1].message : "");
    }
    return "";
}

// Tears the demo down and builds it again from the files; `first` starts at demo_start, later
// loads at the time the show had. Nothing here ends the program: scripts that fail their checks
// leave the running demo as it is, standing still; a failure while loading leaves it empty.
// Either way the demo is broken until the next change.
void Maker::load(bool first) {
    // What the load opens (the checks keep a log of their own) is the demo's.
    FolderWatch::OpenLog log(folder_);
    float resume_at = play_.now();
    std::vector<std::string> changed;
    FileSnapshot scan = folder_.scan_for_load(changed);
    problems_ = demo_check(false);
    std::string refused = first_script_error(problems_);
    if (!refused.empty()) {
        std::fprintf(stderr, "Error: %s\n", refused.c_str());
        std::fflush(stderr);
        go_broken(refused, resume_at);
        finish_load(first);
        return;
    }
    TexturePool pool = tear_down(changed, std::move(scan));
    try {
        if (!build(first, resume_at, std::move(pool))) return;
    } catch (const MakerFailure& failure) {
        close_demo();
        go_broken(failure.message, resume_at);
        problems_.push_back({"", 0, Severity::Error, failure.message});
        finish_load(first);
        return;
    }
    dirty_ = true;
    play_.set_playing(play_.playing);
    finish_load(first);
}

// The running demo gone, with the pictures whose files did not change taken back to be used
// again instead of decoded again; the font goes too when its file changed.
TexturePool Maker::tear_down(const std::vector<std::string>& changed, FileSnapshot scan) {
    bool font_changed = std::find(changed.begin(), changed.end(), FONT_FILE) != changed.end();
    TexturePool pool;
    if (play_.demo != nullptr) pool = texture_pool_take(play_.demo->first_texture);
    texture_pool_forget(pool, [&changed](const char* path) { return file_changed(path, changed); });
    close_demo();
    folder_.built(std::move(scan));
    if (font_changed && font_loaded_) {
        texture_table_truncate(frame_targets_);
        font_loaded_ = false;
    }
    return pool;
}

// The demo built from the files and seeked to where the show was (the first at demo_start);
// false when the window closed while it loaded.
bool Maker::build(bool first, float& resume_at, TexturePool pool) {
    play_.demo = std::make_unique<Demo>(section_types);
    Demo& demo = *play_.demo;
    benchmark_watch(&demo);  // `bench` scores the demo playing when the player ends
    demo.keep_all = true;
    demo.no_loading_screen = !first;
    demo.settings = read_scripts(demo.sections);
    if (!font_loaded_) {
        font_init(&system_font, font_charmap, 16, 16, FONT_FILE, demo.settings.texture_detail);
        font_loaded_ = true;
    }
    // The demo's own textures come after the window's and the font's.
    demo.first_texture = texture_count;
    demo.pool = std::move(pool);
    clock_reset(demo);
    load_phase(demo);
    if (demo.quit) {
        // Closed while loading: the half-loaded demo only waits to be torn down.
        quit_ = true;
        return false;
    }
    if (first) resume_at = demo.settings.demo_start;
    play_.start_at(resume_at);
    // What the new demo did not take back is of no more use.
    texture_pool_clear(demo.pool);
    console_.collect_timeline(demo);
    splines_.collect(demo);
    if (console_.serving()) console_.publish_splines(splines_.json());
    return true;
}

// The console is shown what the load gave, and told how a reload went.
void Maker::finish_load(bool first) {
    console_.publish(problems_);
    if (!first)
        console_.broadcast(play_.broken ? "event reload error " + one_line(play_.error) : "event reload ok");
}

void Maker::go_broken(const std::string& message, float at) {
    play_.go_broken(message, at);
    dirty_ = true;
}

void Maker::close_demo() {
    splines_.forget();
    benchmark_watch(nullptr);
    play_.demo.reset();
}

// One frame of the show at demo_time, as the normal loop draws it, with the maker's overlays.
void Maker::frame() {
    frame_draw(*play_.demo);
    panel_draw_overlays(play_, font_loaded_);
    screenshot_take_requested(play_.settings().compress_tga != 0);
    frame_output.swap();
    play_.fresh_frame = false;
}

// The last frame shown, again, with the overlays of now; a frame at a new time when a seek or a
// reload asked for one.
void Maker::show_still() {
    Uint32 ticks = SDL_GetTicks();
    if (!play_.fresh_frame && !dirty_ && ticks - still_ticks_ < STILL_REDRAW_MS) return;
    dirty_ = false;
    still_ticks_ = ticks;
    if (play_.fresh_frame && !play_.broken) {
        play_.demo->delta = 0;
        frame();
        return;
    }
    frame_present_again();
    panel_draw_overlays(play_, font_loaded_);
    screenshot_take_requested(play_.settings().compress_tga != 0);
    frame_swap();
}

void Maker::step() {
    if (play_.still()) {
        show_still();
        return;
    }
    play_.wrap_loop();
    float shown = play_.demo->time;
    frame();
    play_.after_frame(shown);
}

// The player's own keys; F and T flip the overlays of the demo playing, and nothing without one.
bool Maker::key(const SDL_Event& event) {
    ShowSettings none;
    return key_event(event, play_.demo != nullptr ? play_.demo->settings : none);
}

void Maker::handle_event(const SDL_Event& event) {
    dirty_ = true;
    if (event.type != SDL_KEYDOWN) {
        if (key(event)) quit_ = true;
        return;
    }
    switch (event.key.keysym.sym) {
        case SDLK_p:
            play_.set_playing(!play_.playing);
            break;
        case SDLK_LEFT:
            play_.seek(play_.now() - 1);
            break;
        case SDLK_RIGHT:
            play_.seek(play_.now() + 1);
            break;
        case SDLK_DOWN:
            play_.seek(play_.now() - 10);
            break;
        case SDLK_UP:
            play_.seek(play_.now() + 10);
            break;
        case SDLK_HOME:
            play_.seek(play_.settings().demo_start);
            break;
        case SDLK_LEFTBRACKET:
            play_.loop_from = play_.now();
            play_.loop_from_set = true;
            break;
        case SDLK_RIGHTBRACKET:
            play_.loop_to = play_.now();
            play_.loop_to_set = true;
            break;
        case SDLK_BACKSPACE:
            play_.loop_off();
            break;
        case SDLK_r:
            folder_.ask_reload();
            break;
        default:
            if (key(event)) quit_ = true;
            break;
    }
}

std::string Maker::do_screenshot(const std::string& file, WriteAsker who) {
    // The frame a seek asked for is drawn first, so the picture shows the time just set.
    if (play_.fresh_frame && !play_.broken) show_still();
    frame_present_again();
    panel_draw_overlays(play_, font_loaded_);
    glFinish();
    std::vector<uint8_t> bytes;
    bool encoded = screenshot_encode(bytes, play_.settings().compress_tga != 0);
    int why = errno;
    frame_swap();
    if (!encoded) return std::string("error cannot write '") + file + "': " + std::strerror(why);
    std::string refused = folder_.write(file, bytes, who);
    return refused.empty() ? "ok" : "error " + refused;
}

// A spline file's keys changed under the running demo: a paused show draws them at once, as a
// seek to the time it stands at draws it, and every console client is told.
void Maker::spline_changed(const std::string& file) {
    if (play_.still() && !play_.broken) play_.seek(play_.now());
    if (console_.serving()) console_.publish_splines(splines_.json());
    console_.broadcast("event spline " + file);
}

// The answer to one command line, from standard input or from the console (which also says
// hello, and writes only new files or the player's own, inside the demo folder).
std::string Maker::answer(const std::string& line, bool from_console) {
    dirty_ = true;
    const Tempo tempo = tempo_of(play_.settings());
    MakerCommand c = maker_command_parse(line, tempo);
    std::string answer = "ok";
    const size_t first = line.find_first_not_of(" \t\r");
    const size_t last = line.find_last_not_of(" \t\r");
    if (from_console && first != std::string::npos && line.substr(first, last - first + 1) == "hello") {
        answer = "ok tarvel " + std::to_string(CONSOLE_PROTOCOL_VERSION) +
                 " seek pause play loop reload time screenshot quit hello key undo redo";
    } else if (from_console && c.error.empty() && c.kind == MakerCommandKind::Screenshot &&
               !console_path_inside(c.file)) {
        answer =
            "error the console writes screenshots inside the demo folder only (no absolute path, no '..')";
    } else if (!c.error.empty()) {
        answer = "error " + c.error;
    } else {
        switch (c.kind) {
            case MakerCommandKind::Seek:
                play_.seek(c.from);
                break;
            case MakerCommandKind::Pause:
                play_.set_playing(false);
                break;
            case MakerCommandKind::Play:
                play_.set_playing(true);
                break;
            case MakerCommandKind::Loop:
                play_.set_loop(c.from, c.to);
                break;
            case MakerCommandKind::LoopOff:
                play_.loop_off();
                break;
            case MakerCommandKind::Reload:
                load(false);
                if (play_.broken) answer = "error " + play_.error;
                break;
            case MakerCommandKind::Time: {
                char text[64];
                std::snprintf(text, sizeof text, "ok %.3f %s", static_cast<double>(play_.now()),
                              play_.still() ? "paused" : "playing");
                answer = text;
                if (tempo.set()) answer += " bar " + beats_text(tempo, play_.now());
                break;
            }
            case MakerCommandKind::Screenshot:
                answer = do_screenshot(c.file, from_console ? WriteAsker::Console : WriteAsker::Terminal);
                break;
            case MakerCommandKind::Quit:
                quit_ = true;
                break;
            case MakerCommandKind::KeySet:
            case MakerCommandKind::KeyInsert:
            case MakerCommandKind::KeyDelete:
            case MakerCommandKind::KeyBias:
            case MakerCommandKind::Undo:
            case MakerCommandKind::Redo: {
                std::string changed;
                answer = splines_.apply(c, folder_, changed);
                if (!changed.empty()) spline_changed(changed);
                break;
            }
        }
    }
    return one_line(answer);
}

int Maker::run() {
    dialogs_disable();
    // An editor that stops reading the answers does not end the player, and a player started in
    // the background of a shell is not stopped by reading its terminal (the read fails instead,
    // and commands are no longer read).
    signal(SIGPIPE, SIG_IGN);
    signal(SIGTTIN, SIG_IGN);
    FatalHandler normal_handler = fatal_set_handler(report_and_throw);
    fatal_set_shutdown(nullptr);
    // The window opens with the settings of the first read; it keeps them until the player ends.
    Config settings;
    try {
        SectionList scratch;
        settings = read_scripts(scratch);
    } catch (const MakerFailure&) {
        // The window opens with the defaults; the error is shown once it is open.
        options_.apply_command_line(settings);
    }
    if (options_.serve) {
        std::string why;
        if (!console_.start(options_.serve_address, options_.serve_port, why)) {
            std::fprintf(stderr, "Error: %s\n", why.c_str());
            fatal_set_handler(normal_handler);
            return 255;
        }
        console_.announce();
    }
    try {
        demo_settings_check(settings);
        window_open(settings);
        if (settings.sound != 0) sound_init();
    } catch (const MakerFailure&) {
        fatal_set_handler(normal_handler);
        player_shutdown();
        return 255;
    }
    frame_targets_ = texture_count;
    // Black is the picture an error shows over until the demo has drawn one.
    frame_begin();
    frame_present();
    load(true);
    const CommandAnswerer from_terminal = [this](const std::string& line) { return answer(line, false); };
    const CommandAnswerer from_console = [this](const std::string& line) { return answer(line, true); };
    while (!quit_) {
        SDL_Event event;
        while (SDL_PollEvent(&event) != 0) handle_event(event);
        input_.read(from_terminal, quit_);
        console_.read(from_console, quit_);
        if (quit_) break;
        if (folder_.due()) load(false);
        try {
            step();
        } catch (const MakerFailure& failure) {
            // Something failed while playing (a music stream, a frame that could not be saved):
            // the show stands still until the next change or reload.
            go_broken(failure.message, play_.demo->time);
            problems_.push_back({"", 0, Severity::Error, failure.message});
            console_.publish(problems_);
        }
        console_.tell(play_);
        if (play_.still()) input_.wait(IDLE_WAIT_MS);
    }
    fatal_set_handler(normal_handler);
    console_.stop();
    demo_close(play_.demo);
    texture_table_truncate(frame_targets_);
    player_shutdown();
    return 0;
}

}  // namespace

int maker_run(const MakerOptions& options) {
    Maker maker(options);
    return maker.run();
}
