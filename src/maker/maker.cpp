// The maker's mode: the demo plays, its folder is watched, and a change rebuilds the demo at the
// same demo time. Every error on the way is shown and waited out, never fatal.
#include "maker/maker.h"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "audio/audio_backend.h"
#include "audio/sound_system.h"
#include "base/config.h"
#include "base/error.h"
#include "inspect/beats.h"
#include "runtime/capture.h"
#include "inspect/check.h"
#include "maker/console.h"
#include "runtime/keys.h"
#include "maker/maker_commands.h"
#include "maker/maker_files.h"
#include "runtime/overlay.h"
#include "runtime/sequencer.h"
#include "runtime/registry.h"
#include "runtime/startup.h"
#include "inspect/timeline.h"
#include "maker/watch.h"
#include "gfx/ortho.h"
#include "gfx/video.h"
#include "resources/files.h"
#include "gfx/font_draw.h"
#include "resources/font.h"
#include "resources/texture.h"
#include "script/parser.h"
#include "sections/demo.h"

namespace {

const char* const FONT_PATH = "data/fonts/font.tga";
// How often the folder is looked at; a change is taken once two looks agree.
constexpr Uint32 SCAN_INTERVAL_MS = 250;
// The pause between two looks at the window and the input while nothing plays, and the longest
// time a still picture goes without being drawn again.
constexpr int IDLE_WAIT_MS = 20;
constexpr Uint32 STILL_REDRAW_MS = 500;
// Time events to the console while the show plays: 20 a second.
constexpr Uint32 TIME_EVENT_MS = 50;
// The longest line read on standard input.
constexpr size_t INPUT_LINE_MAX = 65536;

// A fatal error of the maker's mode: reported, then caught by the loop instead of ending.
struct MakerFailure {
    std::string message;
};

[[noreturn]] void report_and_throw(const char* message) {
    std::fprintf(stderr, "Error: %s\n", message);
    std::fflush(stderr);
    throw MakerFailure{message};
}

// The window and device settings, fixed when the window opens: a script changed later cannot
// resize a window that stays open.
struct WindowSettings {
    Config kept;

    static WindowSettings current() { return {config}; }
    void restore() const {
        const Config& k = kept;
        config.demo_name = k.demo_name;
        config.gl_fullscreen = k.gl_fullscreen;
        config.gl_panoramic = k.gl_panoramic;
        config.gl_info = k.gl_info;
        config.gl_extensions = k.gl_extensions;
        config.gl_width = k.gl_width;
        config.gl_height = k.gl_height;
        config.gl_bpp = k.gl_bpp;
        config.gl_zbuffer = k.gl_zbuffer;
        config.gl_stencil = k.gl_stencil;
        config.gl_rttWidth = k.gl_rttWidth;
        config.gl_rttHeight = k.gl_rttHeight;
        config.sound = k.sound;
        config.display_aspect = k.display_aspect;
    }
};

// Whether the file at `path` is among the `changed` paths of a snapshot, or may be (an archive
// changed).
bool file_changed(const char* path, const std::vector<std::string>& changed_files) {
    std::string name = path;
    while (name.rfind("./", 0) == 0) name.erase(0, 2);
    for (const std::string& changed : changed_files) {
        if (changed == name) return true;
        // A changed archive may hold any file: nothing is kept then.
        std::string tail = changed.size() >= 4 ? changed.substr(changed.size() - 4) : "";
        if (tail == ".dat" || tail == ".DAT" || tail == ".zip" || tail == ".ZIP") return true;
    }
    return false;
}

class Maker {
  public:
    explicit Maker(const MakerOptions& options) : options_(options) {}
    int run();

  private:
    void read_scripts(SectionList& into);
    float clamp_time(float t) const;
    void load(bool first);
    void seek(float t);
    void set_playing(bool on);
    void frame();
    void show_still();
    void draw_overlays();
    void draw_panel(const std::vector<std::string>& lines, float top, float size, bool error);
    void step();
    void handle_event(const SDL_Event& event);
    void read_input();
    void answer_line(const std::string& line);
    std::string answer(const std::string& line, bool from_console);
    void read_console();
    void tell_console();
    void publish_console();
    void collect_timeline();
    std::string do_screenshot(const std::string& file, WriteAsker who);
    void look_at_folder();
    float now() const { return broken_ || demo_ == nullptr ? held_time_ : demo_->time; }

    const MakerOptions& options_;
    WindowSettings window_{};
    int frame_targets_ = 0;  // texture slots made with the window
    bool font_loaded_ = false;
    // The demo playing; a broken one that failed while loading is gone (null), one whose
    // scripts were refused stands still.
    std::unique_ptr<Demo> demo_;
    bool playing_ = true;
    bool broken_ = false;
    std::string error_;
    float held_time_ = 0;  // the show's time while it is broken
    float play_from_ = 0;  // where play last (re)started: before demo_end, play pauses there
    bool fresh_frame_ = true;
    bool dirty_ = true;  // the still picture must be drawn again (an event, a command, a reload)
    Uint32 still_ticks_ = 0;
    bool loop_from_set_ = false, loop_to_set_ = false;
    float loop_from_ = 0, loop_to_ = 0;
    bool reload_asked_ = false;
    FileSnapshot loaded_, last_scan_;
    FileSnapshot built_;  // the files as the running demo was built from them
    Uint32 last_scan_ticks_ = 0;
    std::set<std::string> outputs_;
    // Every file the demo's loads opened in this run: never written over on anyone's word.
    std::set<std::string> opened_;
    WriteGuard guard_;
    std::string input_;
    bool dropping_line_ = false;  // the rest of an over-long line is being skipped
    bool input_open_ = true;
    bool quit_ = false;
    // The console, when served: what it was last told, and what timeline.json shows (the time
    // line of the last demo built, the problems of the last load).
    std::unique_ptr<Console> console_;
    std::vector<CheckProblem> problems_;
    TimelineInput timeline_;
    std::string music_key_;  // what timeline_'s loudness was measured for
    Uint32 time_event_ticks_ = 0;
    std::string last_time_event_, last_loop_event_;

    bool loop_on() const { return loop_from_set_ && loop_to_set_ && loop_to_ > loop_from_; }
    float stop_time() const {
        float last = sequence_last_end(*demo_);
        return config.demo_end > 0.0f && play_from_ < config.demo_end && config.demo_end < last
                   ? config.demo_end
                   : last;
    }
};

void Maker::read_scripts(SectionList& into) {
    config_reset();
    script_read_all(into, section_types);
    options_.apply_command_line();
}

float Maker::clamp_time(float t) const {
    float last = sequence_last_end(*demo_);
    if (t > last) t = last;
    return t > 0 ? t : 0;
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
    // What the load opens (the checks keep a log of their own) is the demo's: never written over
    // on anyone's word, and watched even when the player wrote it earlier.
    struct OpenLog {
        Maker& maker;
        LoadContext files;
        LoadScope in_force{files};
        explicit OpenLog(Maker& m) : maker(m) {}
        ~OpenLog() {
            for (const std::string& path : files.opened) {
                // The watcher's name for the file: "./data/a.tga" is "data/a.tga".
                const std::string name = std::filesystem::path(path).lexically_normal().string();
                maker.outputs_.erase(name);
                maker.opened_.insert(name);
            }
        }
    } log(*this);
    float resume_at = now();
    FileSnapshot scan = watch_scan(".", outputs_);
    // What changed since the running demo was built: a refused reload in between left it as
    // it was, so its pictures are judged against the files it read.
    std::vector<std::string> changed = watch_changes(built_, scan);
    loaded_ = last_scan_ = scan;
    last_scan_ticks_ = SDL_GetTicks();
    problems_ = demo_check(false);
    std::string refused = first_script_error(problems_);
    if (!refused.empty()) {
        std::fprintf(stderr, "Error: %s\n", refused.c_str());
        std::fflush(stderr);
        broken_ = true;
        error_ = refused;
        held_time_ = resume_at;
        dirty_ = true;
        set_playing(playing_);
        publish_console();
        if (!first && console_ != nullptr)
            console_->broadcast("event reload error " + one_line(error_), false);
        return;
    }
    bool font_changed = std::find(changed.begin(), changed.end(), FONT_PATH) != changed.end();
    // Pictures whose files did not change are taken back instead of decoded again.
    TexturePool pool;
    if (demo_ != nullptr) pool = texture_pool_take(demo_->first_texture);
    texture_pool_forget(pool, [&changed](const char* path) { return file_changed(path, changed); });
    demo_watch(nullptr);
    demo_.reset();
    built_ = std::move(scan);
    if (font_changed && font_loaded_) {
        texture_table_truncate(frame_targets_);
        font_loaded_ = false;
    }
    try {
        demo_ = std::make_unique<Demo>(section_types);
        demo_watch(demo_.get());  // `bench` scores the demo playing when the player ends
        demo_->keep_all = true;
        demo_->quiet = !first;
        read_scripts(demo_->sections);
        window_.restore();
        if (!font_loaded_) {
            font_init(&system_font, font_charmap, 16, 16, FONT_PATH);
            font_loaded_ = true;
        }
        // The demo's own textures come after the window's and the font's.
        demo_->first_texture = texture_count;
        demo_->pool = std::move(pool);
        clock_reset(*demo_);
        load_phase(*demo_);
        if (demo_->quit) {
            // Closed while loading: the half-loaded demo only waits to be torn down.
            quit_ = true;
            return;
        }
        if (first) resume_at = config.demo_start;
        broken_ = false;
        error_.clear();
        play_from_ = resume_at;
        seek(resume_at);
        // What the new demo did not take back is of no more use.
        texture_pool_clear(demo_->pool);
        if (console_ != nullptr) collect_timeline();
    } catch (const MakerFailure& failure) {
        demo_watch(nullptr);
        demo_.reset();
        broken_ = true;
        error_ = failure.message;
        held_time_ = resume_at;
        problems_.push_back({"", 0, Severity::Error, failure.message});
    }
    dirty_ = true;
    set_playing(playing_);
    publish_console();
    if (!first && console_ != nullptr)
        console_->broadcast(broken_ ? "event reload error " + one_line(error_) : "event reload ok", false);
}

void Maker::seek(float t) {
    if (broken_) {
        held_time_ = t > 0 ? t : 0;
        return;
    }
    t = clamp_time(t);
    sequence_seek(*demo_, t);
    play_from_ = t;
    fresh_frame_ = true;
}

void Maker::set_playing(bool on) {
    if (on && !broken_ && demo_->time >= stop_time() && !loop_on()) seek(config.demo_start);
    playing_ = on;
    audio_pause(!on || broken_);
    if (on && !broken_) {
        // The clock runs on from the time shown.
        demo_->clock_base = static_cast<float>(SDL_GetTicks()) * 0.001f - (demo_->time - config.demo_start);
        play_from_ = demo_->time;
    }
}

void Maker::draw_panel(const std::vector<std::string>& lines, float top, float size, bool error) {
    glViewport(0, 0, config.gl_width, config.gl_height);
    ortho_begin();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    float bottom = top + size * (static_cast<float>(lines.size()) + 0.5f);
    if (error) {
        glColor4f(0.35f, 0, 0, font_loaded_ ? 0.8f : 1.0f);
    } else {
        glColor4f(0, 0, 0, 0.7f);
    }
    // Pixel rows from the top, as the font counts them, in the unit square's upward y.
    const float y0 = 1.0f - top / static_cast<float>(config.gl_height);
    const float y1 = 1.0f - bottom / static_cast<float>(config.gl_height);
    glBegin(GL_QUADS);
    glVertex2f(0, y0);
    glVertex2f(0, y1);
    glVertex2f(1, y1);
    glVertex2f(1, y0);
    glEnd();
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    ortho_end();
    if (!font_loaded_) return;
    Font font = system_font;
    font.size = size;
    font.x = size * 0.5f;
    for (size_t i = 0; i < lines.size(); ++i) {
        font.y = top + size * (0.25f + static_cast<float>(i));
        font_print(font, "%s", lines[i].c_str());
    }
}

void Maker::draw_overlays() {
    glDisable(GL_DEPTH_TEST);
    if (font_loaded_ && demo_ != nullptr && config.fps != 0) {
        overlay_fps(*demo_);
    } else if (font_loaded_ && demo_ != nullptr && config.timing != 0) {
        overlay_timing(*demo_);
    }
    float size = static_cast<float>(std::clamp(config.gl_height / 32, 12, 32));
    size_t columns = static_cast<size_t>(static_cast<float>(config.gl_width) / size) - 1;
    if (broken_) {
        std::vector<std::string> lines = maker_wrap(error_, columns);
        lines.insert(lines.begin(), "Error (fix the file: the demo reloads by itself)");
        draw_panel(lines, 0, size, true);
    }
    bool paused = !playing_ || broken_;
    std::string status = maker_status_text(now(), paused, loop_on(), loop_from_, loop_to_, tempo_of_config());
    draw_panel({status}, static_cast<float>(config.gl_height) - size * 1.5f, size, false);
    glEnable(GL_DEPTH_TEST);
}

// One frame of the show at demo_time, as the normal loop draws it, with the maker's overlays.
void Maker::frame() {
    frame_draw(*demo_);
    draw_overlays();
    screenshot_take_requested();
    frame_output.swap();
    fresh_frame_ = false;
}

// The last frame shown, again, with the overlays of now; a frame at a new time when a seek or a
// reload asked for one.
void Maker::show_still() {
    Uint32 ticks = SDL_GetTicks();
    if (!fresh_frame_ && !dirty_ && ticks - still_ticks_ < STILL_REDRAW_MS) return;
    dirty_ = false;
    still_ticks_ = ticks;
    if (fresh_frame_ && !broken_) {
        demo_->delta = 0;
        frame();
        return;
    }
    frame_present_again();
    draw_overlays();
    screenshot_take_requested();
    frame_swap();
}

void Maker::step() {
    if (broken_ || !playing_) {
        show_still();
        return;
    }
    if (loop_on() && demo_->time >= loop_to_) seek(loop_from_);
    float shown = demo_->time;
    frame();
    if (shown >= stop_time() && !(loop_on() && loop_to_ > shown)) {
        set_playing(false);
        return;
    }
    clock_advance(*demo_);
}

void Maker::handle_event(const SDL_Event& event) {
    dirty_ = true;
    if (event.type != SDL_KEYDOWN) {
        if (key_event(event)) quit_ = true;
        return;
    }
    switch (event.key.keysym.sym) {
        case SDLK_p:
            set_playing(!playing_);
            break;
        case SDLK_LEFT:
            seek(now() - 1);
            break;
        case SDLK_RIGHT:
            seek(now() + 1);
            break;
        case SDLK_DOWN:
            seek(now() - 10);
            break;
        case SDLK_UP:
            seek(now() + 10);
            break;
        case SDLK_HOME:
            seek(config.demo_start);
            break;
        case SDLK_LEFTBRACKET:
            loop_from_ = now();
            loop_from_set_ = true;
            break;
        case SDLK_RIGHTBRACKET:
            loop_to_ = now();
            loop_to_set_ = true;
            break;
        case SDLK_BACKSPACE:
            loop_from_set_ = loop_to_set_ = false;
            break;
        case SDLK_r:
            reload_asked_ = true;
            break;
        default:
            if (key_event(event)) quit_ = true;
            break;
    }
}

std::string Maker::do_screenshot(const std::string& file, WriteAsker who) {
    // The frame a seek asked for is drawn first, so the picture shows the time just set.
    if (fresh_frame_ && !broken_) show_still();
    frame_present_again();
    draw_overlays();
    glFinish();
    std::vector<uint8_t> bytes;
    bool encoded = screenshot_encode(bytes);
    int why = errno;
    frame_swap();
    if (!encoded) return std::string("error cannot write '") + file + "': " + std::strerror(why);
    guard_.demo = write_identities(opened_);
    std::string inside_as;
    std::string refused = write_file_guarded(file, bytes, who, guard_, inside_as);
    if (!refused.empty()) return "error " + refused;
    if (!inside_as.empty()) outputs_.insert(inside_as);
    return "ok";
}

void Maker::answer_line(const std::string& line) {
    std::printf("%s\n", answer(line, false).c_str());
    std::fflush(stdout);
}

// The answer to one command line, from standard input or from the console (which also says
// hello, and writes only new files or the player's own, inside the demo folder).
std::string Maker::answer(const std::string& line, bool from_console) {
    dirty_ = true;
    const Tempo tempo = tempo_of_config();
    MakerCommand c = maker_command_parse(line, tempo);
    std::string answer = "ok";
    const size_t first = line.find_first_not_of(" \t\r");
    const size_t last = line.find_last_not_of(" \t\r");
    if (from_console && first != std::string::npos && line.substr(first, last - first + 1) == "hello") {
        answer = "ok tarvel " + std::to_string(CONSOLE_PROTOCOL_VERSION) +
                 " seek pause play loop reload time screenshot quit hello";
    } else if (from_console && c.error.empty() && c.kind == MakerCommandKind::Screenshot &&
               !console_path_inside(c.file)) {
        answer =
            "error the console writes screenshots inside the demo folder only (no absolute path, no '..')";
    } else if (!c.error.empty()) {
        answer = "error " + c.error;
    } else {
        switch (c.kind) {
            case MakerCommandKind::Seek:
                seek(c.from);
                break;
            case MakerCommandKind::Pause:
                set_playing(false);
                break;
            case MakerCommandKind::Play:
                set_playing(true);
                break;
            case MakerCommandKind::Loop:
                loop_from_ = c.from;
                loop_to_ = c.to;
                loop_from_set_ = loop_to_set_ = true;
                break;
            case MakerCommandKind::LoopOff:
                loop_from_set_ = loop_to_set_ = false;
                break;
            case MakerCommandKind::Reload:
                load(false);
                if (broken_) answer = "error " + error_;
                break;
            case MakerCommandKind::Time: {
                char text[64];
                std::snprintf(text, sizeof text, "ok %.3f %s", static_cast<double>(now()),
                              playing_ && !broken_ ? "playing" : "paused");
                answer = text;
                if (tempo.set()) answer += " bar " + beats_text(tempo, now());
                break;
            }
            case MakerCommandKind::Screenshot:
                answer = do_screenshot(c.file, from_console ? WriteAsker::Console : WriteAsker::Terminal);
                break;
            case MakerCommandKind::Quit:
                quit_ = true;
                break;
        }
    }
    return one_line(answer);
}

void Maker::read_console() {
    if (console_ == nullptr) return;
    for (const ConsoleCommand& c : console_->take_commands()) {
        if (quit_) break;
        console_->send(c.client, answer(c.line, true));
    }
}

// Events: the time while playing (at most every TIME_EVENT_MS) and on every change while
// paused, the loop when it changes; a client that just came is told both.
void Maker::tell_console() {
    if (console_ == nullptr) return;
    if (console_->take_joined()) {
        last_time_event_.clear();
        last_loop_event_.clear();
    }
    const bool playing = playing_ && !broken_;
    char text[64];
    std::snprintf(text, sizeof text, "event time %.3f %s", static_cast<double>(now()),
                  playing ? "playing" : "paused");
    Uint32 ticks = SDL_GetTicks();
    if (text != last_time_event_ &&
        (!playing || last_time_event_.empty() || ticks - time_event_ticks_ >= TIME_EVENT_MS)) {
        console_->broadcast(text, true);
        last_time_event_ = text;
        time_event_ticks_ = ticks;
    }
    std::string loop = "event loop off";
    if (loop_on()) {
        std::snprintf(text, sizeof text, "event loop %.3f %.3f", static_cast<double>(loop_from_),
                      static_cast<double>(loop_to_));
        loop = text;
    }
    if (loop != last_loop_event_) {
        console_->broadcast(loop, false);
        last_loop_event_ = loop;
    }
}

// The time line of the demo just built; the music is decoded again only when what its loudness
// depends on changed.
void Maker::collect_timeline() {
    TimelineInput next = timeline_collect(*demo_, false);
    std::string key = timeline_music_key(next);
    if (!key.empty() && key == music_key_) {
        next.music = timeline_.music;
        next.loudness = std::move(timeline_.loudness);
    } else {
        timeline_measure(*demo_, next);
        music_key_ = std::move(key);
    }
    timeline_ = std::move(next);
}

void Maker::publish_console() {
    if (console_ != nullptr)
        console_->publish(console_timeline_json(timeline_, problems_), timeline_svg(timeline_));
}

void Maker::read_input() {
    if (!input_open_) return;
    for (;;) {
        pollfd p = {STDIN_FILENO, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0 || (p.revents & (POLLIN | POLLHUP)) == 0) return;
        char buffer[4096];
        ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            input_open_ = false;
            return;
        }
        input_.append(buffer, static_cast<size_t>(n));
        size_t feed;
        while (!quit_ && (feed = input_.find('\n')) != std::string::npos) {
            std::string line = input_.substr(0, feed);
            input_.erase(0, feed + 1);
            if (dropping_line_) {
                dropping_line_ = false;  // the end of a line already answered
                continue;
            }
            answer_line(line);
        }
        if (quit_) return;
        // A line longer than any command is answered once and dropped up to its end: kept, it
        // would grow without bound; cut, its tail would be read as a command of its own.
        if (input_.size() > INPUT_LINE_MAX) {
            if (!dropping_line_) {
                std::printf("error line too long (over %zu bytes)\n", INPUT_LINE_MAX);
                std::fflush(stdout);
            }
            dropping_line_ = true;
            input_.clear();
        }
    }
}

void Maker::look_at_folder() {
    Uint32 ticks = SDL_GetTicks();
    if (!reload_asked_) {
        if (ticks - last_scan_ticks_ < SCAN_INTERVAL_MS) return;
        last_scan_ticks_ = ticks;
        FileSnapshot scan = watch_scan(".", outputs_);
        bool settled = scan == last_scan_;
        last_scan_ = std::move(scan);
        if (!settled || last_scan_ == loaded_) return;
    } else {
        last_scan_ = watch_scan(".", outputs_);
    }
    reload_asked_ = false;
    load(false);
}

int Maker::run() {
    dialogs_disable();
    // An editor that stops reading the answers does not end the player, and a player started in
    // the background of a shell is not stopped by reading its terminal (the read fails instead,
    // and commands are no longer read).
    signal(SIGPIPE, SIG_IGN);
    signal(SIGTTIN, SIG_IGN);
    FatalHandler normal_handler = fatal_set_handler(report_and_throw);
    std::error_code error;
    guard_.folder = std::filesystem::canonical(".", error).string();
    fatal_set_shutdown(nullptr);
    try {
        SectionList scratch;
        read_scripts(scratch);
    } catch (const MakerFailure&) {
        // The window opens with the defaults; the error is shown once it is open.
        config = Config();
        options_.apply_command_line();
    }
    if (options_.serve) {
        std::string why;
        console_ = Console::start(options_.serve_address, options_.serve_port, why);
        if (console_ == nullptr) {
            std::fprintf(stderr, "Error: %s\n", why.c_str());
            fatal_set_handler(normal_handler);
            return 255;
        }
        std::fprintf(stderr, "Console: %s\n", console_->url().c_str());
        if (!console_->on_loopback())
            std::fputs(
                "Warning: the console is served beyond this machine: anyone on the network can reach "
                "its port, and the token travels in clear\n",
                stderr);
        // Where an editor's language server on this folder finds the console.
        console_->announce(CONSOLE_NOTE);
        std::fflush(stderr);
    }
    try {
        demo_settings_check();
        video_init();
        if (config.sound != 0) sound_init();
    } catch (const MakerFailure&) {
        fatal_set_handler(normal_handler);
        demo_shutdown();
        return 255;
    }
    window_ = WindowSettings::current();
    frame_targets_ = texture_count;
    // Black is the picture an error shows over until the demo has drawn one.
    frame_begin();
    frame_present();
    load(true);
    while (!quit_) {
        SDL_Event event;
        while (SDL_PollEvent(&event) != 0) handle_event(event);
        read_input();
        read_console();
        if (quit_) break;
        look_at_folder();
        try {
            step();
        } catch (const MakerFailure& failure) {
            // Something failed while playing (a music stream, a frame that could not be saved):
            // the show stands still until the next change or reload.
            held_time_ = demo_->time;
            broken_ = true;
            error_ = failure.message;
            dirty_ = true;
            set_playing(playing_);
            problems_.push_back({"", 0, Severity::Error, failure.message});
            publish_console();
        }
        tell_console();
        if (broken_ || !playing_) {
            if (input_open_) {
                pollfd p = {STDIN_FILENO, POLLIN, 0};
                poll(&p, 1, IDLE_WAIT_MS);
            } else {
                SDL_Delay(IDLE_WAIT_MS);
            }
        }
    }
    fatal_set_handler(normal_handler);
    console_.reset();
    demo_close(demo_);
    texture_table_truncate(frame_targets_);
    demo_shutdown();
    return 0;
}

}  // namespace

int maker_run(const MakerOptions& options) {
    Maker maker(options);
    return maker.run();
}
