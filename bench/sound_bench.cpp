// Sound benchmark: decode throughput of every accepted format (seconds of audio decoded per
// second of CPU) and the mixer's share of one core while it plays 1, 4 and 32 streams.
// Test music is made on the spot: a 30-second stereo tune of tones and noise, encoded by
// Debian's flac, oggenc, lame and opusenc, and the tools' tracker module.
// Usage: sound_bench   (run from anywhere; it finds make_module next to itself)
#include <time.h>
#include <unistd.h>

#include <cmath>
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

namespace {

constexpr int RATE = 44100;
constexpr int SECONDS = 30;
constexpr int DEVICE_FRAMES = 1024;

double cpu_seconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

void put_le(std::string& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A stereo tune with enough going on to keep lossy coders busy: chords, a moving lead, noise.
std::string tune_wav() {
    const int64_t frames = static_cast<int64_t>(SECONDS) * RATE;
    std::string out = "RIFF";
    put_le(out, static_cast<uint32_t>(36 + frames * 4), 4);
    out += "WAVEfmt ";
    put_le(out, 16, 4);
    put_le(out, 1, 2);
    put_le(out, 2, 2);
    put_le(out, RATE, 4);
    put_le(out, RATE * 4, 4);
    put_le(out, 4, 2);
    put_le(out, 16, 2);
    out += "data";
    put_le(out, static_cast<uint32_t>(frames * 4), 4);
    uint32_t noise = 1;
    for (int64_t f = 0; f < frames; ++f) {
        double t = static_cast<double>(f) / RATE;
        double lead = 440.0 * std::pow(2.0, std::floor(std::fmod(t * 4, 12)) / 12.0);
        double v = 0.2 * std::sin(2 * M_PI * 110 * t) + 0.15 * std::sin(2 * M_PI * 165 * t) +
                   0.15 * std::sin(2 * M_PI * lead * t);
        noise = noise * 1664525u + 1013904223u;
        double n = (static_cast<double>(noise >> 8) / 8388608.0 - 1.0) * 0.05;
        put_le(out, static_cast<uint16_t>(static_cast<int16_t>((v + n) * 32767 * 0.9)), 2);
        put_le(out, static_cast<uint16_t>(static_cast<int16_t>((v - n) * 32767 * 0.9)), 2);
    }
    return out;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Sample {
    std::string name;
    std::string bytes;
};

// Seconds of audio decoded per CPU second, decoding the whole file a few times.
double decode_speed(const std::string& bytes) {
    std::vector<float> buffer(2 * DEVICE_FRAMES);
    double audio = 0;
    double start = cpu_seconds();
    do {
        AudioDecoderPtr d;
        if (decoder_open(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), RATE, &d) != 0)
            return 0;
        for (long n; (n = decoder_read(*d, buffer.data(), DEVICE_FRAMES)) > 0;)
            audio += static_cast<double>(n) / RATE;
    } while (cpu_seconds() - start < 1.0);
    return audio / (cpu_seconds() - start);
}

// CPU time spent mixing `streams` copies of the file over the wall time the output lasts,
// in percent of one core.
double mixer_share(const std::string& bytes, int streams) {
    std::vector<AudioDecoderPtr> decoders(static_cast<size_t>(streams));
    AudioMixer mixer;
    mixer_reset(mixer, AUDIO_MAX_CHANNELS);
    for (auto& d : decoders) {
        if (decoder_open(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), RATE, &d) != 0)
            return -1;
        mixer_attach(mixer, d.get());
    }
    std::vector<int16_t> out(2 * DEVICE_FRAMES);
    const int buffers = 10 * RATE / DEVICE_FRAMES;  // ten seconds of output
    double start = cpu_seconds();
    for (int i = 0; i < buffers; ++i) mixer_mix(mixer, out.data(), DEVICE_FRAMES);
    double busy = cpu_seconds() - start;
    return 100.0 * busy / (static_cast<double>(buffers) * DEVICE_FRAMES / RATE);
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
        {"Opus (48 kHz, resampled)", "tune.opus", "opusenc --quiet '" + wav + "' '" + dir + "/tune.opus'"},
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
    std::printf("Decode throughput (seconds of audio per CPU second, one core):\n");
    for (const auto& s : samples) std::printf("  %-26s %8.0f\n", s.name.c_str(), decode_speed(s.bytes));
    std::printf("Mixer share of one core while playing (percent):\n");
    for (const auto& s : samples) {
        std::printf("  %-26s", s.name.c_str());
        for (int streams : {1, 4, 32})
            std::printf("  %2d streams %6.2f", streams, mixer_share(s.bytes, streams));
        std::printf("\n");
    }
    std::filesystem::remove_all(dir);
    return 0;
}
