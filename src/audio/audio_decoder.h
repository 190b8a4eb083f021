// Decoding of a whole audio file held in memory into interleaved stereo float frames at the
// mixing rate, with seeking to the exact output frame. The format is chosen by content:
// tracker modules through libopenmpt, Ogg Vorbis through libvorbisfile (its seek is
// sample-exact), everything else libsndfile knows (WAV, FLAC, Ogg Opus, MP3, AIFF...).
// No device and no threads here: the mixer calls it, tests call it directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Which library decodes a file.
enum AudioSourceKind { AUDIO_SOURCE_MODULE = 0, AUDIO_SOURCE_VORBIS = 1, AUDIO_SOURCE_SNDFILE = 2 };

struct AudioDecoder;

struct AudioDecoderDeleter {
    void operator()(AudioDecoder* d) const;
};
using AudioDecoderPtr = std::unique_ptr<AudioDecoder, AudioDecoderDeleter>;

// Opens the file in `data` (not copied: it must outlive the decoder) for output at `out_rate`.
// Returns 0 and sets `out`, or one of the back end's error codes (audio_backend.h) and leaves
// `out` empty.
int decoder_open(const unsigned char* data, size_t size, int out_rate, AudioDecoderPtr* out);

// Writes up to `frames` stereo frames (2 floats each, nominally -1..1) into `out` and returns
// how many it wrote; fewer than asked only when the file has ended.
long decoder_read(AudioDecoder& d, float* out, long frames);

// Positions the decoder so that the next frame read is output frame floor(ms * out_rate / 1000)
// of the whole file decoded from its start. A position past the end leaves the decoder at its
// end. Returns 0 or an error code.
int decoder_seek_ms(AudioDecoder& d, int64_t ms);

AudioSourceKind decoder_kind(const AudioDecoder& d);
int decoder_source_rate(const AudioDecoder& d);
bool decoder_ended(const AudioDecoder& d);
