#include "test_support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {
[[noreturn]] void throw_fatal(const char* message) {
    throw FatalError{message};
}
}  // namespace

FatalCatcher::FatalCatcher() : previous(fatal_set_handler(throw_fatal)) {}
FatalCatcher::~FatalCatcher() {
    fatal_set_handler(previous);
}

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tarvel-test-XXXXXX").string();
    char* made = mkdtemp(tmpl.data());
    if (made == nullptr) std::abort();
    path = made;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

void write_file(const std::string& path, const std::string& contents) {
    std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << contents;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

ScopedChdir::ScopedChdir(const std::string& dir) : previous(std::filesystem::current_path().string()) {
    std::filesystem::current_path(dir);
}
ScopedChdir::~ScopedChdir() {
    std::error_code ec;
    std::filesystem::current_path(previous, ec);
}

void write_tga(const std::string& path, int width, int height, const std::string& rgb) {
    std::string data(18, '\0');
    data[2] = 2;
    data[12] = static_cast<char>(width & 0xFF);
    data[13] = static_cast<char>(width >> 8);
    data[14] = static_cast<char>(height & 0xFF);
    data[15] = static_cast<char>(height >> 8);
    data[16] = 24;
    data[17] = 0x20;  // top-left origin: rows stored top first
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        data += rgb[i + 2];
        data += rgb[i + 1];
        data += rgb[i];
    }
    write_file(path, data);
}

std::string solid_rgb(int width, int height, unsigned char r, unsigned char g, unsigned char b) {
    std::string out;
    out.reserve(static_cast<size_t>(width) * height * 3);
    for (int i = 0; i < width * height; ++i) {
        out += static_cast<char>(r);
        out += static_cast<char>(g);
        out += static_cast<char>(b);
    }
    return out;
}

void write_demo_font(const std::string& dir) {
    write_tga(dir + "/data/fonts/font.tga", 256, 256, solid_rgb(256, 256, 0, 0, 0));
}
