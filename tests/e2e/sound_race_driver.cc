// Built with ThreadSanitizer by sound_race_test.cpp (not part of the normal test binaries): the
// main thread opens, seeks, plays and stops streams and reads the figures while SDL's audio
// thread mixes them.
#include <cstdio>
#include <thread>
#include <vector>

#include "audio/audio_backend.h"
#include "sound_media.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", argv[1], 1);
    setenv("SDL_DISKAUDIODELAY", "2", 1);
    const std::string files[] = {sweep_wav(44100, 1.0), sweep_wav(22050, 0.5)};
    for (int round = 0; round < 2; ++round) {
        if (!audio_start(44100, AUDIO_MAX_CHANNELS)) return 3;
        std::vector<AudioStream*> s;
        for (size_t i = 0; i < 8; ++i) {
            const std::string& file = files[i % 2];
            s.push_back(audio_stream_open(reinterpret_cast<const unsigned char*>(file.data()), file.size()));
            if (s.back() == nullptr) return 4;
        }
        float share = 0;
        int playing = 0;
        for (size_t step = 0; step < 300; ++step) {
            if (step % 4 == 0) audio_stream_set_time(s[step % 8], static_cast<int>(step * 7 % 900));
            if (step % 4 == 1) audio_stream_play(s[step % 8]);
            if (step % 4 == 2) audio_stream_play(s[(step + 3) % 8]);
            if (step % 4 == 3) audio_stream_stop(s[step % 8]);
            share += audio_cpu_usage();
            playing += audio_channels_playing();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        audio_close();
        std::printf("round %d: share sum %.3f, playing sum %d\n", round, share, playing);
    }
    return 0;
}
