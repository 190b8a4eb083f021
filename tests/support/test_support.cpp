#include "test_support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {
[[noreturn]] void throw_fatal(const char* message) { throw FatalError{message}; }
}  // namespace

FatalCatcher::FatalCatcher() : previous(fatal_set_handler(throw_fatal)) {}
FatalCatcher::~FatalCatcher() { fatal_set_handler(previous); }

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
