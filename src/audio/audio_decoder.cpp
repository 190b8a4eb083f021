// Audio decoding from memory: one source library per file, a stereo fold, and a resampler
// to the mixing rate. Reads never allocate, so the mixing thread can call them.
#include "audio/audio_decoder.h"

#include <libopenmpt/libopenmpt.h>
#include <samplerate.h>
#include <sndfile.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <numeric>
#include <vector>

#include "audio/audio_backend.h"

namespace {

// Source frames decoded per pull; also the size of every scratch buffer.
constexpr long CHUNK_FRAMES = 1024;
// Source frames fed to the resampler ahead of a seek target so that its filter history is the
// one a continuous decode would have had.
constexpr int64_t SEEK_PREROLL = 512;
// OV_HOLE is recoverable, but a damaged file could report nothing else.
constexpr int MAX_HOLES = 64;
// Seconds a module seek lands before its target, to let the voices settle.
constexpr double MODULE_SEEK_MARGIN = 0.1;
constexpr double MODULE_MAX_SECONDS = 1e6;

struct MemoryReader {
    const unsigned char* data = nullptr;
    int64_t size = 0;
    int64_t pos = 0;
};

int64_t reader_seek(MemoryReader& r, int64_t offset, int whence) {
    int64_t base = whence == SEEK_CUR ? r.pos : whence == SEEK_END ? r.size : 0;
    int64_t target = base + offset;
    if (target < 0) return -1;
    r.pos = std::min(target, r.size);
    return r.pos;
}

size_t reader_read(MemoryReader& r, void* out, size_t bytes) {
    int64_t left = r.size - r.pos;
    size_t n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(bytes)));
    if (n > 0) std::memcpy(out, r.data + r.pos, n);
    r.pos += static_cast<int64_t>(n);
    return n;
}

// libsndfile's virtual I/O over the reader.
sf_count_t sf_io_length(void* user) {
    return static_cast<MemoryReader*>(user)->size;
}
sf_count_t sf_io_seek(sf_count_t offset, int whence, void* user) {
    return reader_seek(*static_cast<MemoryReader*>(user), offset, whence);
}
sf_count_t sf_io_read(void* out, sf_count_t count, void* user) {
    if (count <= 0) return 0;
    return static_cast<sf_count_t>(
        reader_read(*static_cast<MemoryReader*>(user), out, static_cast<size_t>(count)));
}
sf_count_t sf_io_write(const void*, sf_count_t, void*) {
    return 0;
}
sf_count_t sf_io_tell(void* user) {
    return static_cast<MemoryReader*>(user)->pos;
}
SF_VIRTUAL_IO sf_memory_io = {sf_io_length, sf_io_seek, sf_io_read, sf_io_write, sf_io_tell};

// libvorbisfile's callbacks over the reader.
size_t ov_io_read(void* out, size_t size, size_t count, void* user) {
    if (size == 0 || count == 0) return 0;
    size_t items = std::min(count, static_cast<size_t>(INT64_MAX) / size);
    return reader_read(*static_cast<MemoryReader*>(user), out, items * size) / size;
}
int ov_io_seek(void* user, ogg_int64_t offset, int whence) {
    return reader_seek(*static_cast<MemoryReader*>(user), offset, whence) < 0 ? -1 : 0;
}
long ov_io_tell(void* user) {
    return static_cast<long>(static_cast<MemoryReader*>(user)->pos);
}
const ov_callbacks ov_memory_io = {ov_io_read, ov_io_seek, nullptr, ov_io_tell};

int64_t gcd64(int64_t a, int64_t b) {
    return std::gcd(a, b);
}

}  // namespace

struct AudioDecoder {
    AudioSourceKind kind = AUDIO_SOURCE_SNDFILE;
    MemoryReader reader;
    SNDFILE* sf = nullptr;
    OggVorbis_File vf;
    bool vf_open = false;
    openmpt_module* mod = nullptr;
    int source_rate = 0;
    int source_channels = 0;
    int64_t source_frames = -1;  // -1 when the library cannot tell
    double module_seconds = 0;
    int out_rate = 0;
    SRC_STATE* resampler = nullptr;
    bool ended = false;
    // The source library has once answered "no more" since the last seek. Some damaged files
    // make a library deliver frames again after that, from a point it went back to, forever.
    bool source_exhausted = false;
    std::vector<float> raw;      // one chunk as the source library delivers it
    std::vector<float> pulled;   // one chunk folded to stereo, handed to the resampler
    std::vector<float> discard;  // output frames dropped while seeking

    AudioDecoder() { std::memset(&vf, 0, sizeof vf); }
    ~AudioDecoder() {
        if (resampler != nullptr) src_delete(resampler);
        if (sf != nullptr) sf_close(sf);
        if (vf_open) ov_clear(&vf);
        if (mod != nullptr) openmpt_module_destroy(mod);
    }
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;
};

void AudioDecoderDeleter::operator()(AudioDecoder* d) const {
    delete d;
}

namespace {

// Folds `frames` frames of `channels` interleaved samples to stereo: mono goes to both sides,
// wider layouts keep their first two channels (front left and right in WAV order).
void fold_stereo(const float* in, int channels, long frames, float* out) {
    for (long i = 0; i < frames; ++i) {
        const float* f = in + i * channels;
        out[2 * i] = f[0];
        out[2 * i + 1] = channels > 1 ? f[1] : f[0];
    }
}

// Up to `frames` (at most CHUNK_FRAMES) stereo frames at the source rate, from the library.
long source_decode(AudioDecoder& d, float* out, long frames) {
    frames = std::min(frames, CHUNK_FRAMES);
    switch (d.kind) {
        case AUDIO_SOURCE_MODULE:
            return static_cast<long>(openmpt_module_read_interleaved_float_stereo(
                d.mod, d.source_rate, static_cast<size_t>(frames), out));
        case AUDIO_SOURCE_SNDFILE: {
            sf_count_t n = sf_readf_float(d.sf, d.raw.data(), frames);
            if (n <= 0) return 0;
            fold_stereo(d.raw.data(), d.source_channels, static_cast<long>(n), out);
            return static_cast<long>(n);
        }
        case AUDIO_SOURCE_VORBIS: {
            long got = 0;
            int holes = 0;
            while (got < frames) {
                float** pcm = nullptr;
                int link = 0;
                long n = ov_read_float(&d.vf, &pcm, static_cast<int>(frames - got), &link);
                if (n == OV_HOLE && ++holes <= MAX_HOLES) continue;
                if (n <= 0) break;
                vorbis_info* info = ov_info(&d.vf, link);
                int channels = info != nullptr ? info->channels : 1;
                for (long i = 0; i < n; ++i) {
                    out[2 * (got + i)] = pcm[0][i];
                    out[2 * (got + i) + 1] = channels > 1 ? pcm[1][i] : pcm[0][i];
                }
                got += n;
            }
            return got;
        }
    }
    return 0;
}

// As source_decode, but the first end is final until the next seek.
long source_read(AudioDecoder& d, float* out, long frames) {
    if (d.source_exhausted) return 0;
    long n = source_decode(d, out, frames);
    if (n > 0) return n;
    d.source_exhausted = true;
    return 0;
}

// Puts the source at `frame` (source frames). False on a library failure.
bool source_seek(AudioDecoder& d, int64_t frame) {
    d.source_exhausted = false;
    switch (d.kind) {
        case AUDIO_SOURCE_MODULE: {
            // The module seeks to the start of a row, and its first frames there differ from a
            // continuous render while the voices ramp in: land a margin before the target and
            // render up to it.
            const double want = static_cast<double>(frame) / d.source_rate;
            double aim = want - MODULE_SEEK_MARGIN;
            double landed = 0;
            for (int tries = 0; tries < 8 && aim > 0; ++tries) {
                landed = openmpt_module_set_position_seconds(d.mod, aim);
                if (landed <= want - MODULE_SEEK_MARGIN / 2) break;
                aim -= landed - (want - MODULE_SEEK_MARGIN) + MODULE_SEEK_MARGIN;
                landed = 0;
            }
            if (landed <= 0) landed = openmpt_module_set_position_seconds(d.mod, 0.0);
            int64_t skip = frame - static_cast<int64_t>(std::llround(landed * d.source_rate));
            while (skip > 0) {
                long n =
                    source_read(d, d.pulled.data(), static_cast<long>(std::min<int64_t>(skip, CHUNK_FRAMES)));
                if (n <= 0) break;
                skip -= n;
            }
            return true;
        }
        case AUDIO_SOURCE_SNDFILE:
            return sf_seek(d.sf, frame, SEEK_SET) >= 0;
        case AUDIO_SOURCE_VORBIS:
            return ov_pcm_seek(&d.vf, frame) == 0;
    }
    return false;
}

long resampler_pull(void* user, float** data) {
    AudioDecoder& d = *static_cast<AudioDecoder*>(user);
    long n = source_read(d, d.pulled.data(), CHUNK_FRAMES);
    *data = d.pulled.data();
    return n;
}

int open_module(AudioDecoder& d, const unsigned char* data, size_t size) {
    int error = 0;
    const char* message = nullptr;
    d.mod = openmpt_module_create_from_memory2(data, size, openmpt_log_func_silent, nullptr,
                                               openmpt_error_func_ignore, nullptr, &error, &message, nullptr);
    if (message != nullptr) openmpt_free_string(message);
    if (d.mod == nullptr) return error == OPENMPT_ERROR_OUT_OF_MEMORY ? AUDIO_ERR_MEMORY : AUDIO_ERR_FILE_BAD;
    // Without this, notes already sounding at the seek target would restart from their
    // beginning rather than where a continuous render has them.
    openmpt_module_ctl_set_boolean(d.mod, "seek.sync_samples", 1);
    d.kind = AUDIO_SOURCE_MODULE;
    d.source_rate = d.out_rate;  // modules render at any rate, so no resampling
    d.source_channels = 2;
    // A damaged module can claim any length; a million seconds keeps the arithmetic sane.
    double seconds = openmpt_module_get_duration_seconds(d.mod);
    d.module_seconds = seconds > 0 && seconds < MODULE_MAX_SECONDS ? seconds : MODULE_MAX_SECONDS;
    return AUDIO_OK;
}

int open_vorbis(AudioDecoder& d) {
    if (ov_test_callbacks(&d.reader, &d.vf, nullptr, 0, ov_memory_io) != 0) return AUDIO_ERR_FORMAT;
    d.vf_open = true;  // from here ov_clear owns the clean-up
    if (ov_test_open(&d.vf) != 0) return AUDIO_ERR_FILE_BAD;
    vorbis_info* info = ov_info(&d.vf, -1);
    if (info == nullptr || info->channels < 1 || info->rate < 1) return AUDIO_ERR_FILE_BAD;
    d.kind = AUDIO_SOURCE_VORBIS;
    d.source_rate = static_cast<int>(info->rate);
    d.source_channels = info->channels;
    ogg_int64_t total = ov_pcm_total(&d.vf, -1);
    d.source_frames = total >= 0 ? total : -1;
    return AUDIO_OK;
}

int open_sndfile(AudioDecoder& d) {
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    d.sf = sf_open_virtual(&sf_memory_io, SFM_READ, &info, &d.reader);
    if (d.sf == nullptr) {
        int code = sf_error(nullptr);
        if (code == SF_ERR_UNRECOGNISED_FORMAT) return AUDIO_ERR_FORMAT;
        if (code == SF_ERR_UNSUPPORTED_ENCODING) return AUDIO_ERR_VERSION;
        return AUDIO_ERR_FILE_BAD;
    }
    if (info.channels < 1 || info.samplerate < 1) return AUDIO_ERR_FILE_BAD;
    d.kind = AUDIO_SOURCE_SNDFILE;
    d.source_rate = info.samplerate;
    d.source_channels = info.channels;
    d.source_frames = info.frames >= 0 && info.frames < SF_COUNT_MAX ? info.frames : -1;
    d.raw.resize(static_cast<size_t>(CHUNK_FRAMES) * static_cast<size_t>(info.channels));
    return AUDIO_OK;
}

bool starts_with(const unsigned char* data, size_t size, const char* magic) {
    size_t n = std::strlen(magic);
    return size >= n && std::memcmp(data, magic, n) == 0;
}

// Whether the first packet of the Ogg stream in `data` begins with `magic`. The first page
// header is 27 bytes and a table of segment sizes, then the packet.
bool ogg_first_packet_is(const unsigned char* data, size_t size, const char* magic) {
    if (size < 27) return false;
    size_t packet = 27 + data[26];
    return packet <= size && starts_with(data + packet, size - packet, magic);
}

int open_source(AudioDecoder& d, const unsigned char* data, size_t size) {
    size_t probe = std::min(size, openmpt_probe_file_header_get_recommended_size());
    if (size > 0 && openmpt_probe_file_header(OPENMPT_PROBE_FILE_HEADER_FLAGS_DEFAULT, data, probe, size,
                                              nullptr, nullptr, openmpt_error_func_ignore, nullptr, nullptr,
                                              nullptr) == OPENMPT_PROBE_FILE_HEADER_RESULT_SUCCESS)
        return open_module(d, data, size);
    if (starts_with(data, size, "OggS")) {
        int code = open_vorbis(d);
        if (code != AUDIO_ERR_FORMAT) return code;
        // Opus is libsndfile's. Anything else in Ogg (a Vorbis stream too damaged for
        // libvorbisfile, say, or FLAC in Ogg, which this libsndfile cannot read) is not handed
        // on: libsndfile leaks on such files.
        if (!ogg_first_packet_is(data, size, "OpusHead")) return AUDIO_ERR_FORMAT;
        d.reader.pos = 0;
    }
    return open_sndfile(d);
}

// Reads and drops `frames` output frames.
void skip_output(AudioDecoder& d, int64_t frames) {
    while (frames > 0 && !d.ended) {
        long n =
            decoder_read(d, d.discard.data(), static_cast<long>(std::min<int64_t>(frames, CHUNK_FRAMES)));
        if (n <= 0) break;
        frames -= n;
    }
}

}  // namespace

int decoder_open(const unsigned char* data, size_t size, int out_rate, AudioDecoderPtr* out) {
    out->reset();
    if ((data == nullptr && size > 0) || out_rate < 1) return AUDIO_ERR_PARAMETER;
    try {
        AudioDecoderPtr d(new AudioDecoder);
        d->reader.data = data;
        d->reader.size = static_cast<int64_t>(size);
        d->out_rate = out_rate;
        d->pulled.resize(2 * CHUNK_FRAMES);
        d->discard.resize(2 * CHUNK_FRAMES);
        int code = open_source(*d, data, size);
        if (code != AUDIO_OK) return code;
        if (d->source_rate != out_rate) {
            int error = 0;
            d->resampler = src_callback_new(resampler_pull, SRC_SINC_FASTEST, 2, &error, d.get());
            if (d->resampler == nullptr) return AUDIO_ERR_MEMORY;
        }
        *out = std::move(d);
        return AUDIO_OK;
    } catch (const std::bad_alloc&) {
        return AUDIO_ERR_MEMORY;
    }
}

long decoder_read(AudioDecoder& d, float* out, long frames) {
    if (d.ended || frames <= 0) return 0;
    long got = 0;
    if (d.resampler == nullptr) {
        while (got < frames) {
            long n = source_read(d, out + 2 * got, frames - got);
            if (n <= 0) break;
            got += n;
        }
    } else {
        double ratio = static_cast<double>(d.out_rate) / d.source_rate;
        while (got < frames) {
            long n = src_callback_read(d.resampler, ratio, frames - got, out + 2 * got);
            if (n <= 0) break;
            got += n;
        }
    }
    if (got < frames) d.ended = true;
    return got;
}

int decoder_seek_ms(AudioDecoder& d, int64_t ms) {
    if (ms < 0) return AUDIO_ERR_PARAMETER;
    const int64_t in = d.source_rate;
    const int64_t out = d.out_rate;
    // Past the end (or so far that the frame arithmetic could overflow): nothing more to play.
    int64_t limit_ms = d.kind == AUDIO_SOURCE_MODULE ? static_cast<int64_t>(d.module_seconds * 1000.0) + 1
                       : d.source_frames >= 0 ? std::min(d.source_frames / in, INT64_MAX / 4000) * 1000 + 1000
                                              : INT64_MAX / (2 * std::max(in, out));
    limit_ms = std::min(limit_ms, INT64_MAX / (2 * std::max(in, out)) / 1000);
    if (ms > limit_ms) {
        d.ended = true;
        return AUDIO_OK;
    }
    const int64_t target_out = ms * out / 1000;
    d.ended = false;
    if (d.resampler == nullptr) {
        if (d.source_frames >= 0 && target_out >= d.source_frames) {
            d.ended = true;
            return AUDIO_OK;
        }
        return source_seek(d, target_out) ? AUDIO_OK : AUDIO_ERR_FILE_BAD;
    }
    // Restart the resampler at a source frame whose output index is a whole number, some way
    // before the target, and drop the output up to the target: the frames that follow are
    // then the ones a continuous decode gives.
    const int64_t g = gcd64(in, out);
    const int64_t step_in = in / g;
    const int64_t step_out = out / g;
    const int64_t source_pos = target_out * in / out;
    if (d.source_frames >= 0 && source_pos >= d.source_frames) {
        d.ended = true;
        return AUDIO_OK;
    }
    const int64_t block = source_pos > SEEK_PREROLL ? (source_pos - SEEK_PREROLL) / step_in : 0;
    src_reset(d.resampler);
    if (!source_seek(d, block * step_in)) return AUDIO_ERR_FILE_BAD;
    skip_output(d, target_out - block * step_out);
    return AUDIO_OK;
}

AudioSourceKind decoder_kind(const AudioDecoder& d) {
    return d.kind;
}
int decoder_source_rate(const AudioDecoder& d) {
    return d.source_rate;
}
bool decoder_ended(const AudioDecoder& d) {
    return d.ended;
}
