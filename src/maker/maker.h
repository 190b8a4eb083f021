// The maker's mode (--watch): plays the demo and rebuilds it whenever one of its files changes,
// with the window, GL context and sound device kept open; errors are shown instead of ending the
// program; time is controlled by keys and by commands read on standard input.
#pragma once

#include <functional>
#include <string>

struct Config;

struct MakerOptions {
    // Puts the command line's settings over the scripts' in the value of every read of them.
    std::function<void(Config&)> apply_command_line = [](Config&) {};
    // The console (--serve): its address and port; port 0 takes any free one.
    bool serve = false;
    std::string serve_address = "127.0.0.1";
    int serve_port = 8737;
};

// Runs until Escape, a closed window or "quit"; returns the exit status (the scripts must not
// have been read yet: the maker's mode reads them itself, and again on every reload).
int maker_run(const MakerOptions& options);
