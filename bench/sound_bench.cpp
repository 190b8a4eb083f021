// Sound benchmark: decoding speed of every accepted format (seconds of audio decoded per second
// of CPU, at the mixing rate) against the decoding library alone reading the same file at its
// own rate (libsndfile, libvorbisfile, libopenmpt), and the mixer's share of one core while it
// plays one stream against that library alone decoding the same stretch. Test music is made on
// the spot: a 30-second stereo tune of tones and noise, encoded by Debian's flac, oggenc, lame
// and opusenc, and the tools' tracker module. Prints table rows (bench/rounds.h).
// Usage: sound_bench   (run from anywhere; it finds make_module next to itself)
#include <libopenmpt/libopenmpt.h>
#include <sndfile.h>
#include <time.h>
#include <unistd.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "audio/audio_decoder.h"
#include "audio/audio_mixer.h"
#include "base/io.h"
#include "media_files.h"
#include "rounds.h"

namespace {

constexpr int RATE = 44100;
constexpr int SECONDS = 30;
constexpr int DEVICE_FRAMES = 1024;
constexpr int ROUNDS = 5;

double cpu_seconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// A stereo tune with enough going on to keep lossy coders busy: chords, a moving lead, noise.
std::string tune_wav() {
    uint32_t noise = 1;
    double n = 0;
    return media::wav(RATE, 2, static_cast<int64_t>(SECONDS) * RATE, [&](int64_t f, int channel) {
        double t = static_cast<double>(f) / RATE;
        double lead = 440.0 * std::pow(2.0, std::floor(std::fmod(t * 4, 12)) / 12.0);
        double v = 0.2 * std::sin(2 * M_PI * 110 * t) + 0.15 * std::sin(2 * M_PI * 165 * t) +
                   0.15 * std::sin(2 * M_PI * lead * t);
        // One noise value per frame: added on the left, taken away on the right.
        if (channel == 0) {
            noise = noise * 1664525u + 1013904223u;
            n = (static_cast<double>(noise >> 8) / 8388608.0 - 1.0) * 0.05;
        }
        return static_cast<int16_t>((channel == 0 ? v + n : v - n) * 32767 * 0.9);
    });
}

std::string slurp(const std::string& path) {
    std::string bytes;
    path_read_all(path.c_str(), bytes);
    return bytes;
}

struct Sample {
    std::string name;
    std::string bytes;
};

// A file in memory as the decoding libraries read it.
struct Memory {
    const std::string* bytes;
    size_t at = 0;
};

sf_count_t memory_length(void* m) {
    return static_cast<sf_count_t>(static_cast<Memory*>(m)->bytes->size());
}
sf_count_t memory_seek(sf_count_t offset, int whence, void* m) {
    auto& mem = *static_cast<Memory*>(m);
    sf_count_t base = whence == SEEK_SET   ? 0
                      : whence == SEEK_CUR ? static_cast<sf_count_t>(mem.at)
                                           : memory_length(m);
    mem.at = static_cast<size_t>(std::clamp<sf_count_t>(base + offset, 0, memory_length(m)));
    return static_cast<sf_count_t>(mem.at);
}
sf_count_t memory_read(void* out, sf_count_t count, void* m) {
    auto& mem = *static_cast<Memory*>(m);
    size_t n = std::min(static_cast<size_t>(count), mem.bytes->size() - mem.at);
    std::memcpy(out, mem.bytes->data() + mem.at, n);
    mem.at += n;
    return static_cast<sf_count_t>(n);
}
sf_count_t memory_tell(void* m) {
    return static_cast<sf_count_t>(static_cast<Memory*>(m)->at);
}
size_t vorbis_read(void* out, size_t size, size_t count, void* m) {
    return static_cast<size_t>(memory_read(out, static_cast<sf_count_t>(size * count), m)) / size;
}
int vorbis_seek(void* m, ogg_int64_t offset, int whence) {
    memory_seek(offset, whence, m);
    return 0;
}
long vorbis_tell(void* m) {
    return static_cast<long>(memory_tell(m));
}

// Seconds of audio the library alone decodes from the file, up to `limit` seconds (all of it
// when 0), in chunks of the device's size.
double library_decode(const std::string& bytes, double limit) {
    Memory mem{&bytes};
    std::vector<float> buffer(2 * DEVICE_FRAMES);
    double audio = 0;
    auto more = [&] { return limit <= 0 || audio < limit; };
    if (bytes.compare(0, 4, "OggS") == 0 && bytes.find("vorbis") != std::string::npos) {
        OggVorbis_File file;
        ov_callbacks io = {vorbis_read, vorbis_seek, nullptr, vorbis_tell};
        if (ov_open_callbacks(&mem, &file, nullptr, 0, io) != 0) return 0;
        const double rate = ov_info(&file, -1)->rate;
        float** pcm;
        int section = 0;
        for (long n; more() && (n = ov_read_float(&file, &pcm, DEVICE_FRAMES, &section)) > 0;)
            audio += n / rate;
        ov_clear(&file);
        return audio;
    }
    SF_VIRTUAL_IO io = {memory_length, memory_seek, memory_read, nullptr, memory_tell};
    SF_INFO info = {};
    if (SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &mem)) {
        buffer.resize(static_cast<size_t>(info.channels) * DEVICE_FRAMES);
        for (sf_count_t n; more() && (n = sf_readf_float(file, buffer.data(), DEVICE_FRAMES)) > 0;)
            audio += static_cast<double>(n) / info.samplerate;
        sf_close(file);
        return audio;
    }
    openmpt_module* mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr,
                                                             nullptr, nullptr, nullptr, nullptr, nullptr);
    if (mod == nullptr) return 0;
    for (size_t n; more() && (n = openmpt_module_read_interleaved_float_stereo(mod, RATE, DEVICE_FRAMES,
                                                                               buffer.data())) > 0;)
        audio += static_cast<double>(n) / RATE;
    openmpt_module_destroy(mod);
    return audio;
}

// Seconds of audio the player's decoder turns out from the whole file at the mixing rate.
double player_decode(const std::string& bytes) {
    std::vector<float> buffer(2 * DEVICE_FRAMES);
    AudioDecoderPtr d;
    if (decoder_open(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), RATE, &d) != 0)
        return 0;
    double audio = 0;
    for (long n; (n = decoder_read(*d, buffer.data(), DEVICE_FRAMES)) > 0;)
        audio += static_cast<double>(n) / RATE;
    return audio;
}

// Seconds of audio per CPU second of `decode`, run until it took a quarter of a CPU second.
template <typename Decode>
double speed(Decode&& decode) {
    double audio = 0;
    const double start = cpu_seconds();
    do {
        audio += decode();
    } while (cpu_seconds() - start < 0.25);
    return audio / (cpu_seconds() - start);
}

constexpr double MIX_SECONDS = 10;

// CPU time spent mixing one stream of the file over the wall time the output lasts, in percent
// of one core.
double mixer_share(const std::string& bytes) {
    AudioDecoderPtr decoder;
    AudioMixer mixer;
    mixer_reset(mixer, AUDIO_MAX_CHANNELS);
    if (decoder_open(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), RATE, &decoder) != 0)
        return -1;
    mixer_attach(mixer, decoder.get());
    std::vector<int16_t> out(2 * DEVICE_FRAMES);
    const int buffers = static_cast<int>(MIX_SECONDS * RATE / DEVICE_FRAMES);
    double start = cpu_seconds();
    for (int i = 0; i < buffers; ++i) mixer_mix(mixer, out.data(), DEVICE_FRAMES);
    double busy = cpu_seconds() - start;
    return 100.0 * busy / (static_cast<double>(buffers) * DEVICE_FRAMES / RATE);
}

// The same share for the library alone decoding the same stretch of the file.
double library_share(const std::string& bytes) {
    double start = cpu_seconds();
    double audio = library_decode(bytes, MIX_SECONDS);
    return 100.0 * (cpu_seconds() - start) / audio;
}

}  // namespace

int main(int, char** argv) {
    const std::filesystem::path here = std::filesystem::canonical("/proc/self/exe").parent_path();
    char pattern[] = "/tmp/sound_bench.XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 1;
    const std::string dir = pattern;
    const std::string wav = dir + "/tune.wav";
    { std::ofstream(wav, std::ios::binary) << tune_wav(); }
    struct Encoding {
        const char* name;
        const char* file;
        std::string command;
    };
    const std::vector<Encoding> encodings = {
        {"FLAC", "tune.flac", "flac -s -f '" + wav + "' -o '" + dir + "/tune.flac'"},
        {"Ogg Vorbis", "tune.ogg", "oggenc -Q '" + wav + "' -o '" + dir + "/tune.ogg'"},
        {"MP3", "tune.mp3", "lame --quiet '" + wav + "' '" + dir + "/tune.mp3'"},
        {"Ogg Opus (48 kHz, resampled)", "tune.opus",
         "opusenc --quiet '" + wav + "' '" + dir + "/tune.opus'"},
        {"Tracker module", "tune.mod", "'" + (here / "make_module").string() + "' '" + dir + "/tune.mod'"},
    };
    std::vector<Sample> samples = {{"WAV 16-bit", slurp(wav)}};
    for (const auto& e : encodings) {
        if (std::system((e.command + " >/dev/null 2>&1").c_str()) != 0) {
            std::fprintf(stderr, "%s: could not make the %s sample\n", argv[0], e.name);
            continue;
        }
        samples.push_back({e.name, slurp(dir + "/" + e.file)});
    }
    for (const auto& s : samples) {
        rounds::compare(
            "music decoding, " + s.name, rounds::times_real_time, ROUNDS,
            [&] { return speed([&] { return player_decode(s.bytes); }); },
            [&] { return speed([&] { return library_decode(s.bytes, 0); }); });
    }
    for (const auto& s : samples) {
        rounds::compare(
            "mixing one stream, " + s.name, rounds::percent_of_core, ROUNDS,
            [&] { return mixer_share(s.bytes); }, [&] { return library_share(s.bytes); });
    }
    std::filesystem::remove_all(dir);
    return 0;
}
