// Small demos for the particle, path, ray and sky box sections: a directory with the loading
// screen, a camera, recorded frames, and readers for what the player wrote.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "media_files.h"
#include "player_run.h"
#include "test_support.h"

namespace particles_e2e {

// 256 x 128 frames, recorded four times a second (steps of 0.25 s add up exactly).
inline const char* const DEMO_HEADER =
    "demo_name Particles\n"
    "gl_fullscreen 0\n"
    "gl_width 320\n"
    "gl_height 240\n"
    "gl_rttWidth 256\n"
    "gl_rttHeight 128\n"
    "record 1\n"
    "record_fps 4\n"
    "compress_tga 0\n"
    "sound 0\n"
    "[loading]\n"
    "param 0 0 0 0\n"
    "string data/black.tga\n"
    "string data/black.tga\n";

inline constexpr int FRAME_WIDTH = 256;
inline constexpr int FRAME_HEIGHT = 128;

struct Rgb {
    int r = 0, g = 0, b = 0;
};

inline std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

// One recorded frame: uncompressed 24-bit TGA, rows from the bottom up.
struct Frame {
    int width = 0;
    int height = 0;
    std::string bytes;  // whole file
    bool ok() const { return width > 0 && height > 0; }
    // x from the left, y from the bottom.
    Rgb at(int x, int y) const {
        const size_t i = 18 + (static_cast<size_t>(y) * width + x) * 3;
        return {static_cast<uint8_t>(bytes[i + 2]), static_cast<uint8_t>(bytes[i + 1]),
                static_cast<uint8_t>(bytes[i])};
    }
};

inline Frame read_frame(const std::string& path) {
    Frame f;
    f.bytes = read_file(path);
    if (f.bytes.size() < 18 || f.bytes[2] != 2 || f.bytes[16] != 24) return f;
    const int w = static_cast<uint8_t>(f.bytes[12]) | static_cast<uint8_t>(f.bytes[13]) << 8;
    const int h = static_cast<uint8_t>(f.bytes[14]) | static_cast<uint8_t>(f.bytes[15]) << 8;
    if (f.bytes.size() < 18 + static_cast<size_t>(w) * h * 3) return f;
    f.width = w;
    f.height = h;
    return f;
}

// Where a world point lands under a camera section without spline: eye (0, 0, 5) looking down
// -z, 90 degrees vertically, aspect 16/9, in the 256 x 128 frame.
struct Pixel {
    int x, y;
};
inline Pixel project(float x, float y, float z = 0) {
    const float d = 5 - z;
    const float ndc_x = x / (d * 16.0f / 9.0f);
    const float ndc_y = y / d;
    return {static_cast<int>(std::floor((ndc_x + 1) * 0.5f * FRAME_WIDTH)),
            static_cast<int>(std::floor((ndc_y + 1) * 0.5f * FRAME_HEIGHT))};
}

inline bool colour_within(const Rgb& c, int r, int g, int b, int tolerance) {
    return std::abs(c.r - r) <= tolerance && std::abs(c.g - g) <= tolerance && std::abs(c.b - b) <= tolerance;
}

inline bool near_colour(const Rgb& c, int r, int g, int b) {
    return colour_within(c, r, g, b, 8);
}

// Share of the frame's pixels within `tolerance` of a colour.
inline double share_near(const Frame& f, int r, int g, int b, int tolerance = 8) {
    int count = 0;
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) count += colour_within(f.at(x, y), r, g, b, tolerance) ? 1 : 0;
    return static_cast<double>(count) / (f.width * f.height);
}

inline bool black(const Rgb& c) {
    return colour_within(c, 0, 0, 0, 2);
}

// A demo directory: loading images, font, a video directory, and a stub dialog so that a
// fatal error never waits for a real one.
struct Demo {
    TempDir dir;
    TempDir bin;
    Demo() {
        write_demo_font(dir.path);
        write_tga(dir.file("data/black.tga"), 8, 8, solid_rgb(8, 8, 0, 0, 0));
        write_tga(dir.file("data/white.tga"), 8, 8, solid_rgb(8, 8, 255, 255, 255));
        std::filesystem::create_directories(dir.file("video"));
        write_dialog_stub(bin.path, "zenity", bin.file("dialog.log"));
    }
    void script(const std::string& sections) const {
        write_file(dir.file("demo.tvl"), DEMO_HEADER + sections);
    }
    void file(const std::string& name, const std::string& contents) const {
        write_file(dir.file(name), contents);
    }
    PlayerResult run() const {
        PlayerOptions options;
        options.path_prefix = bin.path;
        options.timeout_seconds = 120;
        return player_run(dir.path, options);
    }
    Frame frame(int n) const {
        char name[32];
        std::snprintf(name, sizeof name, "video/%08d.tga", n);
        return read_frame(dir.file(name));
    }
    // Every recorded frame, in order.
    std::vector<std::string> frames() const {
        std::vector<std::string> all;
        for (int n = 0;; ++n) {
            Frame f = frame(n);
            if (f.bytes.empty()) break;
            all.push_back(f.bytes);
        }
        return all;
    }
};

// A camera section without spline over the first second, below everything else.
inline const char* const CAMERA = "[camera]\nstart 0\nend 1\nlayer 1\n";

}  // namespace particles_e2e
