// The real player on demos made in temporary directories, run under a virtual X server: one demo
// builder, one reader for what the player recorded, and a viewer that presses keys in its window.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "test_support.h"
#include "tga_reader.h"

using Rgb = std::array<uint8_t, 3>;
inline constexpr Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, yellow{255, 255, 0},
    cyan{0, 255, 255}, white{255, 255, 255}, black{0, 0, 0};

struct PlayerResult {
    int exit_status = -1;  // exit code, 124 when timed out, or 128 + signal when killed by a signal
    std::string out, err;
};

struct PlayerOptions {
    std::vector<std::string> args;           // command-line arguments
    std::map<std::string, std::string> env;  // extra environment; a value of "" removes the variable
    std::string path_prefix;                 // directories put first on PATH (stub dialogs)
    int timeout_seconds = 60;
};

// Runs TARVEL_PLAYER in `dir` with SDL_AUDIODRIVER "dummy" and DISPLAY the shared virtual X server
// (or, run alone or beside a Viewer, one of this process's own). Standard error goes to
// dir/.player-stderr meanwhile.
PlayerResult player_run(const std::string& dir, const PlayerOptions& options = {});

// The virtual X server's DISPLAY that player_run gives the player.
std::string player_display();

// An executable dialog program `name` in `dir` that appends its arguments, one a line, to `log`,
// then runs the shell commands `then` and exits 0.
void write_dialog_stub(const std::string& dir, const std::string& name, const std::string& log,
                       const std::string& then = "");

// Status 0 and nothing on standard error.
void expect_clean_exit(const PlayerResult& r);

// What a shell command run in `dir` writes on standard output.
std::string output_of(const std::string& dir, const std::string& command);
// The hash of every decoded frame of the video `video` in `dir`, in order (ffmpeg's framemd5).
std::vector<std::string> frame_hashes(const std::string& dir, const std::string& video);

// --- Pictures ---

// RGB bytes, top row first (the layout write_tga takes), of a picture in four quadrants.
std::string quadrant_rgb(int width, int height, Rgb top_left, Rgb top_right, Rgb bottom_left,
                         Rgb bottom_right);
// Decodes a TGA file with the strict reader; fails the test when it is not well formed.
TgaPicture read_picture(const std::string& path);
// The colour at a point given in fractions of the picture's size from its lower left.
Rgb colour_at(const TgaPicture& p, float fx, float fy);
bool near(const Rgb& a, const Rgb& b, int tolerance);
std::string show(const Rgb& c);
// Pixels of a colour (within `tolerance`) inside columns x0..x1 and rows y0..y1 (-1: the last).
int count_colour(const TgaPicture& p, Rgb colour, int tolerance = 0, int x0 = 0, int x1 = -1, int y0 = 0,
                 int y1 = -1);
// Pixels that differ at all between two pictures (every pixel of the larger when the sizes differ).
int pixels_differ(const TgaPicture& a, const TgaPicture& b);

#define EXPECT_COLOUR(got, want, tolerance) \
    EXPECT_TRUE(near((got), (want), (tolerance))) << "got " << show(got) << ", want " << show(want)
#define EXPECT_SAME_PICTURE(got, want) EXPECT_EQ(pixels_differ((got), (want)), 0) << "pixels differ "

// --- Demos ---

// A demo directory: a 320 x 240 window, 256 x 128 recorded frames at 25 a second, no sound, the
// font, a loading section, the video directory and a stub zenity so that no error box waits.
struct Demo {
    TempDir dir, bin;
    std::vector<std::string> settings;  // written first into demo.tvl, one a line
    std::vector<std::string> sections;  // then these; the loading section is the first

    Demo();
    void set(const std::string& line) { settings.push_back(line); }
    void section(const std::string& text) { sections.push_back(text); }
    void file(const std::string& path, const std::string& bytes) const { write_file(dir.file(path), bytes); }
    void picture(const std::string& path, int width, int height, Rgb colour) const {
        write_tga(dir.file(path), width, height, solid_rgb(width, height, colour[0], colour[1], colour[2]));
    }
    // A background section showing `image` on `layer` from `start` to `end`.
    void background(const std::string& image, float start, float end, int layer = 0);
    // Replaces the sections (and the loading pictures) with the scripts of examples/NAME (less
    // their gl_ lines, so that the settings here hold) and the media its generators make, with
    // `music_seconds` of music.
    void use_example(const std::string& name, int music_seconds = 0);

    void write() const;                                  // demo.tvl: the settings, then the sections
    PlayerResult run(PlayerOptions options = {}) const;  // writes, then plays
    std::string dialog_log() const { return read_file(bin.file("dialog.log")); }
    std::vector<std::string> frames() const;  // file names under video/, in order
    std::string frame_path(int number) const;
    TgaPicture frame(int number) const { return read_picture(frame_path(number)); }
};

// "start S\nend E\nlayer L\n"
std::string span(float start, float end, int layer);

// --- The maker's mode ---

// The player run in `dir` with `args`, its standard input and output on pipes and its standard
// error in DIR/ERR_NAME, on `display` (none when it is ""). Killed when still running at the end.
struct PlayerProcess {
    PlayerProcess(const std::string& dir, const std::vector<std::string>& args, const std::string& display,
                  const std::string& err_name = ".player-stderr");
    ~PlayerProcess();
    PlayerProcess(const PlayerProcess&) = delete;
    PlayerProcess& operator=(const PlayerProcess&) = delete;
    // Its resident memory in kilobytes, now or at its peak so far.
    long memory_kb(bool peak = false) const;
    // The exit status once the player ends (-1 when it is still running after `seconds`).
    int wait_exit(double seconds);

    int pid = -1;   // -1 once it has ended and been waited for
    int to = -1;    // the player's standard input
    int from = -1;  // its standard output
};

// The player started with --watch (and `args`) on a written demo, driven through its standard
// input; standard error is kept in the demo folder's .player-stderr. Sound goes to the dummy
// device unless this process chose a driver. Killed when still running at the end.
class MakerSession {
  public:
    explicit MakerSession(const Demo& demo, const std::vector<std::string>& args = {});
    // Sends one command line and returns the answer line ("" when none came in `seconds`).
    std::string ask(const std::string& command, double seconds = 30);
    // "screenshot NAME" answered "ok", and the picture read back.
    TgaPicture screenshot(const std::string& name);
    std::string err() const { return read_file(dir_ + "/.player-stderr"); }
    int wait_exit(double seconds = 20) { return player_.wait_exit(seconds); }  // as PlayerProcess's
    long memory_kb() const { return player_.memory_kb(); }                     // the player's resident memory
    // "" while the player runs (after `seconds` at most); else how it ended, and its standard error.
    std::string death(double seconds = 0);

  private:
    std::string dir_;
    PlayerProcess player_;
    std::string pending_;
};

// What a fresh maker's session shows paused at `seconds`, started on a copy of `demo`'s folder
// as written now (less video/ and the files whose names start with a dot).
TgaPicture cold_still(const Demo& demo, const std::string& seconds);

// --- The viewer ---

// The player's window, driven the way a viewer would. It switches this process to an X server of
// its own, so that keys reach its own player only.
class Viewer {
  public:
    Viewer();
    ~Viewer();
    Viewer(const Viewer&) = delete;
    bool window_open() { return window() != 0; }        // whether a window titled "Tarvel" is there now
    void key(const char* key_name) { send(key_name); }  // presses and releases a key ("Escape", "s")
    void close() { send(nullptr); }                     // the window manager's close request

  private:
    unsigned long window(unsigned long parent = 0, int depth = 2);
    void send(const char* key_name);
    void* display_ = nullptr;  // the Xlib connection
};

// While alive, files that the players started by this process write may not grow past `bytes`:
// a full disk without a small file system.
struct FileSizeLimit {
    explicit FileSizeLimit(unsigned long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    unsigned long saved;
};

// Runs the demo while `interact` drives its window once it is up.
PlayerResult run_with_viewer(const Demo& demo, const std::function<void(Viewer&)>& interact,
                             PlayerOptions options = {});
