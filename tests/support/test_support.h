// Shared helpers for the tests: catching fatal errors, temporary directories, files.
#pragma once

#include <functional>
#include <string>

#include "base/error.h"

// While alive, fatal errors throw FatalError instead of ending the process.
struct FatalCatcher {
    FatalCatcher();
    ~FatalCatcher();
    FatalHandler previous;
};

// Runs `fn` and returns the fatal message it raised, or "" when it raised none.
template <typename Fn>
std::string fatal_message_of(Fn&& fn) {
    FatalCatcher catcher;
    try {
        fn();
    } catch (const FatalError& e) {
        return e.message;
    }
    return "";
}

// A fresh directory under the system's temporary directory, removed with its contents.
struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path;
    std::string file(const std::string& relative) const { return path + "/" + relative; }
};

// Polls `ready` until it holds, at least once; false after `seconds`.
bool wait_until(const std::function<bool()>& ready, double seconds = 20);

// Writes bytes to a file, creating its parent directories.
void write_file(const std::string& path, const std::string& contents);
std::string read_file(const std::string& path);

// Changes the working directory for the lifetime of the object.
struct ScopedChdir {
    explicit ScopedChdir(const std::string& dir);
    ~ScopedChdir();
    std::string previous;
};

// Writes an uncompressed 24-bit TGA. `rgb` holds width x height pixels as R, G, B bytes,
// top row first.
void write_tga(const std::string& path, int width, int height, const std::string& rgb);

// A plain-coloured image of the given size as RGB bytes.
std::string solid_rgb(int width, int height, unsigned char r, unsigned char g, unsigned char b);

// Writes the font image every demo needs at start-up (data/fonts/font.tga under `dir`).
void write_demo_font(const std::string& dir);

// Memory bounds of the tests hold for the normal build; AddressSanitizer's red zones and its
// quarantine of freed blocks take about three times as much.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr long SANITIZER_MEMORY_FACTOR = 3;
#else
inline constexpr long SANITIZER_MEMORY_FACTOR = 1;
#endif
