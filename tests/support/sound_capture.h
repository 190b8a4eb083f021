// Capturing what the back end plays: SDL's disk driver into a temporary file, and matching
// the capture against the sweep.
#pragma once

// SDL's disk audio driver writing into a temporary file, paced at the device buffer's real
// duration (1024 frames at 44100 Hz), for tests that start the back end without a sound card.
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "sound_media.h"
#include "test_support.h"

struct DiskAudio {
    DiskAudio() : file(dir.file("capture.raw")) {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", "23", 1);
    }
    TempDir dir;
    std::string file;

    int64_t frames_written() const {
        struct stat st;
        return stat(file.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) / 4 : 0;
    }
    // Waits until the capture holds `frames` frames; false after `seconds`.
    bool wait_frames(int64_t frames, double seconds = 20) const {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (frames_written() < frames) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    std::vector<int16_t> capture() const { return s16_samples(read_file(file)); }
};

// Where the sweep (mono, 44100 Hz) played from source frame `start` first shows in a capture:
// its first non-zero sample, matched against the first non-zero source sample from `start`.
// Returns how many frames from there on match exactly (up to `count`), or -1 if none.
inline int64_t sweep_match(const std::vector<int16_t>& stereo, int64_t start, int64_t count) {
    int64_t at = first_sound(stereo, 0);
    if (at < 0) return -1;
    while (sweep_sample(start, 44100) == 0) ++start;
    int64_t n = 0;
    while (n < count && static_cast<size_t>(2 * (at + n) + 1) < stereo.size() &&
           stereo[static_cast<size_t>(2 * (at + n))] == sweep_sample(start + n, 44100) &&
           stereo[static_cast<size_t>(2 * (at + n) + 1)] == sweep_sample(start + n, 44100))
        ++n;
    return n;
}

// How many times the 512 frames of the sweep from source frame `start` appear, exactly, in the
// left channel of a capture.
inline int sweep_appearances(const std::vector<int16_t>& stereo, int64_t start) {
    int found = 0;
    for (size_t f = 0; 2 * (f + 512) <= stereo.size(); ++f) {
        bool same = true;
        for (size_t i = 0; i < 512 && same; ++i)
            same = stereo[2 * (f + i)] == sweep_sample(start + static_cast<int64_t>(i), 44100);
        found += same;
    }
    return found;
}
