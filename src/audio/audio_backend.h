// The audio back end under the music layer: an SDL audio device fed by our own mixing
// callback, streams decoded from in-memory files, a last-error code for every failure.
// All operations are for the main thread; the mixing thread only sees what they hand it.
#pragma once

#include <cstddef>
#include <cstdint>

// Error codes; sound_error_text turns them into text.
enum AudioError {
    AUDIO_OK = 0,
    AUDIO_ERR_ALREADY_STARTED = 1,
    AUDIO_ERR_NOT_STARTED = 2,
    AUDIO_ERR_DEVICE = 3,
    AUDIO_ERR_DEVICE_BUSY = 4,
    AUDIO_ERR_PLAY = 5,
    AUDIO_ERR_OUTPUT_FORMAT = 6,
    AUDIO_ERR_FILE_NOT_FOUND = 9,
    AUDIO_ERR_FORMAT = 10,
    AUDIO_ERR_FILE_BAD = 11,
    AUDIO_ERR_MEMORY = 12,
    AUDIO_ERR_VERSION = 13,
    AUDIO_ERR_PARAMETER = 14,
    AUDIO_ERR_CHANNEL = 16,
};

inline constexpr int AUDIO_MAX_CHANNELS = 32;

struct AudioStream;

// Whether every linked audio library is at least the version the build was made against;
// false sets AUDIO_ERR_VERSION.
bool audio_versions_ok();

// Opens the device at `mixrate` Hz, 16-bit stereo, mixing up to `max_channels` streams at once.
bool audio_start(int mixrate, int max_channels);

// Stops the device and closes every stream; safe when never started.
void audio_close();
// Whether the device is open (audio_start succeeded and no audio_close since).
bool audio_started();

// A stream over a whole audio file held in memory (not copied: it must outlive the stream);
// null on failure. Streams live until audio_stream_close or audio_close.
AudioStream* audio_stream_open(const unsigned char* data, size_t size);

// Positions the stream at `ms` milliseconds, to the exact frame; the next play starts there.
bool audio_stream_set_time(AudioStream* stream, int64_t ms);

// Plays the stream on a free channel and returns the channel, or -1. It starts where the last
// set_time put it, or from the beginning when there was none since it last played; a stream
// already playing keeps its channel.
int audio_stream_play(AudioStream* stream);

// Stops the stream; the result says whether the handle was valid.
bool audio_stream_stop(AudioStream* stream);

// Takes the stream off the mixer and frees it; the handle is invalid afterwards. The file data
// it read may be freed once this returns. Does nothing for a handle that is not ours.
void audio_stream_close(AudioStream* stream);

// Holds (true) or resumes (false) the whole output: every playing stream keeps its place.
void audio_pause(bool paused);

// Share of wall time spent in the mixing callback, in percent; 0 when not started.
float audio_cpu_usage();

// Streams playing now; 0 when not started.
int audio_channels_playing();

// The code of the last failure.
int audio_error();

// "1.2.0" style version comparison of library version texts ("libsndfile-1.2.0",
// "Xiph.Org libVorbis 1.3.7"): the first run of digits and dots in each. Missing parts are 0;
// a text with no digits is never at least anything.
bool version_at_least(const char* linked, const char* required);
