// The demo's music as it sounds, without a sound device: every kept sound section's file
// decoded from its beginning at the section's start, cut at its end, overlapping sections
// added. The video export encodes it; the time line measures its loudness.
#pragma once

#include <memory>

struct Demo;

struct MusicMix;
struct MusicMixDeleter {
    void operator()(MusicMix* mix) const;
};
using MusicMixPtr = std::unique_ptr<MusicMix, MusicMixDeleter>;

// The music of the `frames` stereo frames at `rate` that follow `start` seconds of demo time;
// null when no sound section plays within them. A sound section without exactly one string,
// or whose file is missing or cannot be decoded, is fatal ("One string needed in sound",
// "File '%s' not found", "Cannot decode the music '%s'" and then `purpose`).
MusicMixPtr music_mix_open(const Demo& demo, double start, long frames, int rate, const char* purpose);

// The next `count` frames (two floats each) into `out`; silence where nothing plays and past
// the last frame.
void music_mix_read(MusicMix& mix, float* out, long count);

// True once every sound section's music is over: what follows is silence.
bool music_mix_done(const MusicMix& mix);
