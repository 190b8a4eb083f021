// Runs the real player binary in a directory and collects what a user would see.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>

struct PlayerResult {
    int exit_status = -1;  // exit code, or 128 + signal when killed by a signal
    bool timed_out = false;
    std::string out;
    std::string err;
};

struct PlayerOptions {
    int timeout_seconds = 60;
    // Extra environment; a value of "" removes the variable.
    std::map<std::string, std::string> env;
    // Directories put first on PATH (stub dialog programs).
    std::string path_prefix;
};

// Starts one virtual X server for this test process (on first use) and returns its display name.
std::string xvfb_display();

// Runs TARVEL_PLAYER with `dir` as working directory. SDL_AUDIODRIVER defaults to "dummy" and
// DISPLAY to the virtual X server.
PlayerResult player_run(const std::string& dir, const PlayerOptions& options = {});

// Writes an executable stub dialog program named `name` into `dir` that appends its
// arguments, one per line, to `log` and exits 0.
void write_dialog_stub(const std::string& dir, const std::string& name, const std::string& log);

// The run ended by itself (or by the viewer) with status 0 and nothing on standard error.
inline void expect_clean_exit(const PlayerResult& r) {
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.err, "");
}
