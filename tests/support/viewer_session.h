// Plays a demo in the background while the test acts as the viewer through the player's window,
// and waits for what the player writes meanwhile. Header-only.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "demo_builder.h"
#include "x11_input.h"

// Polls `ready` until it holds; false after `seconds`.
inline bool wait_until(const std::function<bool()>& ready, double seconds = 20) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// Waits until the file decodes as a complete TGA picture (it may still be half written).
inline bool wait_for_picture(const std::string& path, double seconds = 20) {
    return wait_until(
        [&] {
            TgaPicture p;
            return tga_decode(read_file(path), p).empty();
        },
        seconds);
}

// Waits until the file holds exactly `size` bytes and returns them, or "" after `seconds`.
inline std::string wait_for_file(const std::string& path, size_t size, double seconds = 20) {
    std::string bytes;
    return wait_until([&] { return (bytes = read_file(path)).size() == size; }, seconds) ? bytes : "";
}

inline bool wait_for_path(const std::string& path, double seconds = 20) {
    return wait_until([&] { return std::filesystem::exists(path); }, seconds);
}

// Runs the player while `interact` drives it through its window, once the window is up.
inline PlayerResult run_with_viewer(const DemoBuilder& demo, const std::function<void(X11Input&)>& interact) {
    X11Input x(xvfb_display());
    if (!x.ready()) {
        ADD_FAILURE() << "cannot reach the X server";
        return {};
    }
    PlayerOptions options;
    options.timeout_seconds = 40;
    auto player = std::async(std::launch::async, [&] { return demo.run(options); });
    if (x.wait_for_window("Tarvel", 20) == 0) {
        ADD_FAILURE() << "no player window";
    } else {
        interact(x);
    }
    return player.get();
}
