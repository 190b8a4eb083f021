// Builds small demos in a temporary directory for end-to-end runs of the player and reads back
// what they recorded. Header-only, so any test target can use it.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "player_run.h"
#include "test_support.h"
#include "tga_reader.h"

using Rgb = std::array<uint8_t, 3>;

// Pictures as RGB bytes, top row first (the layout write_tga takes).
inline std::string quadrant_rgb(int width, int height, Rgb top_left, Rgb top_right, Rgb bottom_left,
                                Rgb bottom_right) {
    std::string out;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            bool top = y < height / 2;
            bool left = x < width / 2;
            const Rgb& c = top ? (left ? top_left : top_right) : (left ? bottom_left : bottom_right);
            out.append(reinterpret_cast<const char*>(c.data()), 3);
        }
    }
    return out;
}

struct DemoBuilder {
    TempDir dir;
    TempDir bin;
    std::vector<std::string> settings;
    std::vector<std::string> sections;

    // A recording demo in a small window, without sound, with the font start-up needs, the
    // "video" directory, a loading section and a stub dialog program so that no error box waits.
    DemoBuilder() {
        write_demo_font(dir.path);
        std::filesystem::create_directories(dir.file("video"));
        write_dialog_stub(bin.path, "zenity", bin.file("dialog.log"));
        settings = {"gl_width 320",     "gl_height 240", "gl_rttWidth 256",
                    "gl_rttHeight 128", "record 1",      "sound 0"};
        picture("data/loading_back.tga", 8, 8, Rgb{40, 40, 40});
        picture("data/loading_front.tga", 8, 8, Rgb{90, 90, 90});
        section("[loading]\nparam 1 1 1 1\nstring data/loading_back.tga\nstring data/loading_front.tga\n");
    }

    void set(const std::string& line) { settings.push_back(line); }
    void section(const std::string& text) { sections.push_back(text); }

    void picture(const std::string& path, int width, int height, Rgb colour) {
        write_tga(dir.file(path), width, height, solid_rgb(width, height, colour[0], colour[1], colour[2]));
    }
    void picture(const std::string& path, int width, int height, const std::string& rgb) {
        write_tga(dir.file(path), width, height, rgb);
    }

    // A background section showing `image` on `layer` from `start` to `end`.
    void background(const std::string& image, float start, float end, int layer = 0) {
        section("[background]\nstart " + std::to_string(start) + "\nend " + std::to_string(end) + "\nlayer " +
                std::to_string(layer) + "\nstring " + image + "\n");
    }

    void write() const {
        std::string script;
        for (const std::string& s : settings) script += s + "\n";
        for (const std::string& s : sections) script += s;
        write_file(dir.file("demo.tvl"), script);
    }

    PlayerResult run(PlayerOptions options = {}) const {
        write();
        if (options.path_prefix.empty()) options.path_prefix = bin.path;
        if (options.timeout_seconds == 60) options.timeout_seconds = 30;
        return player_run(dir.path, options);
    }

    std::string dialog_log() const { return read_file(bin.file("dialog.log")); }

    // Recorded frame names under video/, in order.
    std::vector<std::string> frames() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(dir.file("video"), ec)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Decodes a file of the demo directory; fails the test when it is not a well-formed TGA.
    TgaPicture picture_at(const std::string& relative) const {
        TgaPicture picture;
        std::string problem = tga_decode(read_file(dir.file(relative)), picture);
        if (!problem.empty()) ADD_FAILURE() << relative << ": " << problem;
        return picture;
    }
    TgaPicture frame(int number) const {
        char name[32];
        std::snprintf(name, sizeof name, "video/%08d.tga", number);
        return picture_at(name);
    }
};

// The colour shown at a point of a picture given in fractions of its size from the lower left;
// sample away from the edges, where filtering blends with the texture border.
inline Rgb colour_at(const TgaPicture& p, float fx, float fy) {
    return p.at(static_cast<int>(fx * p.width), static_cast<int>(fy * p.height));
}
