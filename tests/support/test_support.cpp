#include "test_support.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "base/io.h"
#include "media_files.h"

namespace fs = std::filesystem;

FatalCatcher::FatalCatcher() : previous(fatal_set_handler([](const char* m) { throw FatalError{m}; })) {}
FatalCatcher::~FatalCatcher() {
    fatal_set_handler(previous);
}

TempDir::TempDir() : path((fs::temp_directory_path() / "tarvel-test-XXXXXX").string()) {
    if (mkdtemp(path.data()) == nullptr) std::abort();
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
}

bool wait_until(const std::function<bool()>& ready, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;; std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
        if (ready()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
    }
}

void write_file(const std::string& path, const std::string& contents) {
    if (fs::path(path).has_parent_path()) fs::create_directories(fs::path(path).parent_path());
    media::save(path, contents);
}

std::string read_file(const std::string& path) {
    std::string bytes;
    path_read_all(path.c_str(), bytes);
    return bytes;
}

ScopedChdir::ScopedChdir(const std::string& dir) : previous(fs::current_path().string()) {
    fs::current_path(dir);
}
ScopedChdir::~ScopedChdir() {
    std::error_code ec;
    fs::current_path(previous, ec);
}

void write_tga(const std::string& path, int width, int height, const std::string& rgb) {
    write_file(path, media::tga(width, height, rgb, 24));
}

std::string solid_rgb(int width, int height, unsigned char r, unsigned char g, unsigned char b) {
    std::string out;
    for (int i = 0; i < width * height; ++i)
        out += {static_cast<char>(r), static_cast<char>(g), static_cast<char>(b)};
    return out;
}

void write_demo_font(const std::string& dir) {
    write_tga(dir + "/data/fonts/font.tga", 256, 256, solid_rgb(256, 256, 0, 0, 0));
}
