// Capturing what the back end plays: SDL's disk driver into a temporary file, and matching the
// capture against the sweep.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "sound_media.h"
#include "test_support.h"

// SDL's disk audio driver writing into a temporary file, paced at the device buffer's real
// duration (1024 frames at 44100 Hz), for tests that start the back end without a sound card.
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
    // Waits until the capture holds `frames` more frames; false after `seconds`.
    bool wait_frames(int64_t frames, double seconds = 20) const {
        const int64_t until = frames_written() + frames;
        return wait_until([&] { return frames_written() >= until; }, seconds);
    }
    // What has been played, as interleaved 16-bit stereo frames.
    std::vector<int16_t> capture() const {
        const std::string raw = read_file(file);
        std::vector<int16_t> out(raw.size() / 2);
        if (!out.empty()) std::memcpy(out.data(), raw.data(), out.size() * 2);
        return out;
    }
};

// How many times the 512 frames of the sweep from source frame `start` appear, exactly, in the
// left channel of a capture.
inline int sweep_appearances(const std::vector<int16_t>& stereo, int64_t start) {
    int found = 0;
    for (size_t f = 0; 2 * (f + 512) <= stereo.size(); ++f) {
        size_t i = 0;
        while (i < 512 && stereo[2 * (f + i)] == sweep_sample(start + static_cast<int64_t>(i), 44100)) ++i;
        found += i == 512;
    }
    return found;
}
