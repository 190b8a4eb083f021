// The audio back end: SDL's audio device, our mixing callback on SDL's audio thread, and the
// stream commands of the main thread. The lock guards the mixer's channel table and is held
// only for table changes and for one mixing pass; decoding a seek happens outside it, on a
// stream the mixer cannot see at that moment.
#include "audio/audio_backend.h"

#include <SDL/SDL.h>
#include <libopenmpt/libopenmpt.h>
#include <samplerate.h>
#include <sndfile.h>
#include <vorbis/codec.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "audio/audio_decoder.h"
#include "audio/audio_mixer.h"

#if !defined(TARVEL_SNDFILE_BUILD_VERSION) || !defined(TARVEL_SAMPLERATE_BUILD_VERSION) || \
    !defined(TARVEL_VORBIS_BUILD_VERSION)
#error "the build must name the audio library versions it was made against"
#endif

struct AudioStream {
    AudioDecoderPtr decoder;
    // A set_time has positioned the stream since it last began playing.
    bool cued = false;
};

namespace {

// Frames per device buffer: about 23 ms at 44100 Hz.
constexpr Uint16 DEVICE_FRAMES = 1024;

struct Backend {
    std::mutex lock;
    AudioMixer mixer;
    CpuMeter meter;
    bool started = false;
    int rate = 0;
    std::vector<std::unique_ptr<AudioStream>> streams;
    int last_error = AUDIO_OK;
};

// Never destroyed: a device left open at exit must not find its state gone.
Backend& backend() {
    static Backend* b = new Backend;
    return *b;
}

double seconds_now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void mix_callback(void*, Uint8* stream, int len) {
    Backend& b = backend();
    double begin = seconds_now();
    {
        std::lock_guard<std::mutex> hold(b.lock);
        mixer_mix(b.mixer, reinterpret_cast<int16_t*>(stream), len / 4);
    }
    cpu_meter_add(b.meter, begin, seconds_now());
}

bool fail(int code) {
    backend().last_error = code;
    return false;
}

// The stream, when the handle is one of ours; sets the error otherwise.
AudioStream* stream_find(AudioStream* s) {
    Backend& b = backend();
    if (!b.started) {
        fail(AUDIO_ERR_NOT_STARTED);
        return nullptr;
    }
    for (const auto& owned : b.streams)
        if (owned.get() == s) return s;
    fail(AUDIO_ERR_PARAMETER);
    return nullptr;
}

// Takes the stream off the mixer and says which channel it was on (-1: none).
int stream_unplug(AudioStream& s) {
    Backend& b = backend();
    std::lock_guard<std::mutex> hold(b.lock);
    int channel = mixer_channel_of(b.mixer, s.decoder.get());
    mixer_detach(b.mixer, s.decoder.get());
    return channel;
}

int stream_plug(AudioStream& s, int channel) {
    Backend& b = backend();
    std::lock_guard<std::mutex> hold(b.lock);
    if (channel >= 0 && mixer_attach_at(b.mixer, s.decoder.get(), channel)) return channel;
    return mixer_attach(b.mixer, s.decoder.get());
}

bool library_at_least(int linked, int required) {
    return linked >= required;
}

}  // namespace

bool version_at_least(const char* linked, const char* required) {
    auto parse = [](const char* text, long parts[3]) {
        parts[0] = parts[1] = parts[2] = 0;
        if (text == nullptr) return false;
        while (*text != '\0' && (*text < '0' || *text > '9')) ++text;
        if (*text == '\0') return false;
        for (int i = 0; i < 3; ++i) {
            char* end = nullptr;
            parts[i] = std::strtol(text, &end, 10);
            if (*end != '.' || end[1] < '0' || end[1] > '9') break;
            text = end + 1;
        }
        return true;
    };
    long have[3];
    long need[3];
    if (!parse(linked, have)) return false;
    if (!parse(required, need)) return true;
    for (int i = 0; i < 3; ++i)
        if (have[i] != need[i]) return have[i] > need[i];
    return true;
}

bool audio_versions_ok() {
    const SDL_version* sdl = SDL_Linked_Version();
    bool ok = sdl != nullptr &&
              library_at_least(SDL_VERSIONNUM(sdl->major, sdl->minor, sdl->patch), SDL_COMPILEDVERSION);
    ok = ok && library_at_least(static_cast<int>(openmpt_get_library_version()), OPENMPT_API_VERSION);
    ok = ok && version_at_least(sf_version_string(), TARVEL_SNDFILE_BUILD_VERSION);
    ok = ok && version_at_least(src_get_version(), TARVEL_SAMPLERATE_BUILD_VERSION);
    ok = ok && version_at_least(vorbis_version_string(), TARVEL_VORBIS_BUILD_VERSION);
    backend().last_error = ok ? AUDIO_OK : AUDIO_ERR_VERSION;
    return ok;
}

bool audio_start(int mixrate, int max_channels) {
    Backend& b = backend();
    if (b.started) return fail(AUDIO_ERR_ALREADY_STARTED);
    if (mixrate < 8000 || mixrate > 192000 || max_channels < 1 || max_channels > AUDIO_MAX_CHANNELS)
        return fail(AUDIO_ERR_PARAMETER);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) < 0) return fail(AUDIO_ERR_DEVICE);
    if (SDL_GetAudioStatus() != SDL_AUDIO_STOPPED) return fail(AUDIO_ERR_DEVICE_BUSY);
    try {
        mixer_reset(b.mixer, max_channels);
    } catch (const std::bad_alloc&) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return fail(AUDIO_ERR_MEMORY);
    }
    cpu_meter_reset(b.meter);
    SDL_AudioSpec want = {};
    want.freq = mixrate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = DEVICE_FRAMES;
    want.callback = mix_callback;
    // No "obtained" format: SDL converts to whatever the hardware takes, so the callback always
    // sees 16-bit stereo at `mixrate`.
    if (SDL_OpenAudio(&want, nullptr) < 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return fail(AUDIO_ERR_DEVICE);
    }
    b.started = true;
    b.rate = mixrate;
    b.last_error = AUDIO_OK;
    SDL_PauseAudio(0);
    return true;
}

void audio_close() {
    Backend& b = backend();
    if (!b.started) return;
    SDL_CloseAudio();  // returns once the audio thread has ended
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    mixer_reset(b.mixer, b.mixer.channel_limit);
    b.streams.clear();
    cpu_meter_reset(b.meter);
    b.started = false;
}

bool audio_started() {
    return backend().started;
}

AudioStream* audio_stream_open(const unsigned char* data, size_t size) {
    Backend& b = backend();
    if (!b.started) {
        fail(AUDIO_ERR_NOT_STARTED);
        return nullptr;
    }
    AudioDecoderPtr decoder;
    int code = decoder_open(data, size, b.rate, &decoder);
    if (code != AUDIO_OK) {
        fail(code);
        return nullptr;
    }
    try {
        b.streams.push_back(std::make_unique<AudioStream>());
    } catch (const std::bad_alloc&) {
        fail(AUDIO_ERR_MEMORY);
        return nullptr;
    }
    b.streams.back()->decoder = std::move(decoder);
    b.last_error = AUDIO_OK;
    return b.streams.back().get();
}

bool audio_stream_set_time(AudioStream* stream, int64_t ms) {
    AudioStream* s = stream_find(stream);
    if (s == nullptr) return false;
    if (ms < 0) return fail(AUDIO_ERR_PARAMETER);
    int channel = stream_unplug(*s);
    int code = decoder_seek_ms(*s->decoder, ms);
    if (channel >= 0) stream_plug(*s, channel);
    if (code != AUDIO_OK) return fail(code);
    s->cued = true;
    backend().last_error = AUDIO_OK;
    return true;
}

int audio_stream_play(AudioStream* stream) {
    AudioStream* s = stream_find(stream);
    if (s == nullptr) return -1;
    int channel = -1;
    if (!s->cued) {
        // Played before, or played to its end: start again from the top.
        channel = stream_unplug(*s);
        int code = decoder_seek_ms(*s->decoder, 0);
        if (code != AUDIO_OK) {
            fail(code);
            return -1;
        }
    }
    channel = stream_plug(*s, channel);
    if (channel < 0) {
        fail(AUDIO_ERR_CHANNEL);
        return -1;
    }
    s->cued = false;
    backend().last_error = AUDIO_OK;
    return channel;
}

bool audio_stream_stop(AudioStream* stream) {
    AudioStream* s = stream_find(stream);
    if (s == nullptr) return false;
    stream_unplug(*s);
    s->cued = false;
    backend().last_error = AUDIO_OK;
    return true;
}

void audio_stream_close(AudioStream* stream) {
    Backend& b = backend();
    if (!b.started) return;
    for (auto it = b.streams.begin(); it != b.streams.end(); ++it) {
        if (it->get() != stream) continue;
        stream_unplug(**it);
        // The mixing thread no longer sees the decoder: it can go without the lock.
        b.streams.erase(it);
        return;
    }
}

void audio_pause(bool paused) {
    if (backend().started) SDL_PauseAudio(paused ? 1 : 0);
}

float audio_cpu_usage() {
    Backend& b = backend();
    return b.started ? b.meter.percent.load() : 0.0f;
}

int audio_channels_playing() {
    Backend& b = backend();
    return b.started ? b.mixer.playing.load() : 0;
}

int audio_error() {
    return backend().last_error;
}
