// Copies of the example demos in temporary directories, with their media made by the project's
// generators, ready to be played by the real player or read by the tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "player_run.h"
#include "test_support.h"
#include "tga_reader.h"

namespace showcase {

namespace fs = std::filesystem;

inline std::string source(const std::string& relative) {
    return std::string(TARVEL_SOURCE_DIR) + "/" + relative;
}

inline std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

// Runs a shell command; true when it exits with status 0.
inline bool shell(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

inline bool on_path(const std::string& program) {
    return shell("command -v " + program + " > /dev/null 2>&1");
}

// One example demo in a temporary directory. The scripts are copied from examples/NAME; the media
// are generated (without music unless asked for). Settings for the run go into an extra script,
// test.tvl; the demo's own window-size lines are removed so that the test's sizes hold whatever
// order the scripts are read in.
struct ExampleCopy {
    TempDir dir;
    TempDir bin;
    std::string name;
    std::vector<std::string> settings;

    explicit ExampleCopy(const std::string& example, int music_seconds = 0) : name(example) {
        for (const auto& entry : fs::directory_iterator(source("examples/" + example))) {
            if (entry.path().extension() == ".tvl") {
                fs::copy_file(entry.path(), dir.file(entry.path().filename().string()));
            }
        }
        std::string command = quoted(source("examples/make-media")) + " " + quoted(TARVEL_TOOLS_DIR) + " " +
                              example + " " + quoted(dir.file("data"));
        if (example == "showcase") command += " " + std::to_string(music_seconds);
        EXPECT_TRUE(shell(command + " > /dev/null")) << command;
        fs::create_directories(dir.file("video"));
        write_dialog_stub(bin.path, "zenity", bin.file("dialog.log"));
    }

    // Small frames, recording on, no sound: the usual test run.
    void small_recording(float fps, float start, float end) {
        settings = {"gl_width 320",
                    "gl_height 240",
                    "gl_rttWidth 256",
                    "gl_rttHeight 128",
                    "record 1",
                    "compress_tga 1",
                    "sound 0",
                    "record_fps " + std::to_string(fps),
                    "demo_start " + std::to_string(start),
                    "demo_end " + std::to_string(end)};
    }

    void write_settings() const {
        for (const auto& entry : fs::directory_iterator(dir.path)) {
            if (entry.path().extension() != ".tvl" || entry.path().filename() == "test.tvl") continue;
            std::string kept;
            std::ifstream in(entry.path());
            for (std::string line; std::getline(in, line);) {
                if (line.rfind("gl_", 0) != 0) kept += line + "\n";
            }
            write_file(entry.path().string(), kept);
        }
        std::string script;
        for (const std::string& s : settings) script += s + "\n";
        write_file(dir.file("test.tvl"), script);
    }

    // Packs data/ into data.dat and removes the folder.
    void pack() const {
        std::string command = quoted(source("examples/make-media")) + " " + quoted(TARVEL_TOOLS_DIR) +
                              " pack " + quoted(dir.path);
        ASSERT_TRUE(shell(command)) << command;
        fs::remove_all(dir.file("data"));
    }

    PlayerResult run(int timeout_seconds = 240) const {
        write_settings();
        PlayerOptions options;
        options.timeout_seconds = timeout_seconds;
        options.path_prefix = bin.path;
        return player_run(dir.path, options);
    }

    std::vector<std::string> frames() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.file("video")))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string frame_path(int number) const {
        char name[32];
        std::snprintf(name, sizeof name, "video/%08d.tga", number);
        return dir.file(name);
    }

    TgaPicture frame(int number) const {
        TgaPicture picture;
        std::string problem = tga_decode(read_file(frame_path(number)), picture);
        if (!problem.empty()) ADD_FAILURE() << frame_path(number) << ": " << problem;
        return picture;
    }
};

// Mean of all channels of all pixels, 0 to 255.
inline double mean_level(const TgaPicture& p) {
    if (p.rgb.empty()) return 0;
    double sum = 0;
    for (uint8_t v : p.rgb) sum += v;
    return sum / static_cast<double>(p.rgb.size());
}

// How far a recorded frame is from a reference: the mean absolute channel difference, and the
// share of pixels where some channel differs by more than 48 (a moved edge, a missing sprite).
struct Difference {
    double mean = 1e9;
    double far_share = 1;
};

inline Difference compare(const TgaPicture& a, const TgaPicture& b) {
    Difference d;
    if (a.width != b.width || a.height != b.height || a.rgb.size() != b.rgb.size() || a.rgb.empty()) return d;
    double sum = 0;
    size_t far = 0;
    for (size_t i = 0; i < a.rgb.size(); i += 3) {
        int worst = 0;
        for (size_t c = 0; c < 3; ++c) {
            int diff = std::abs(static_cast<int>(a.rgb[i + c]) - static_cast<int>(b.rgb[i + c]));
            sum += diff;
            worst = std::max(worst, diff);
        }
        if (worst > 48) ++far;
    }
    d.mean = sum / static_cast<double>(a.rgb.size());
    d.far_share = static_cast<double>(far) / static_cast<double>(a.rgb.size() / 3);
    return d;
}

}  // namespace showcase
