// The audio back end under ThreadSanitizer: its sources and a driver that works the streams from
// the main thread while the mixer runs, built with -fsanitize=thread and run; any race report
// fails the run.
#include <gtest/gtest.h>

#include <cstdlib>

#include "test_support.h"

TEST(SoundRaces, MainThreadCommandsAndTheMixerShareNoUnguardedState) {
    TempDir dir;
    const std::string src = TARVEL_SOURCE_DIR "/";
    std::string command = "g++ -std=c++20 -O1 -g -fsanitize=thread -I" + src + "src -I" + src +
                          "tests/support -I" + src + "tools/media -o " + dir.file("race");
    for (const char* name : {"SNDFILE", "SAMPLERATE", "VORBIS"})
        command += std::string(" -DTARVEL_") + name + "_BUILD_VERSION='\"0\"'";
    for (const char* file : {"tests/e2e/sound_race_driver.cc", "src/audio/audio_backend.cpp",
                             "src/audio/audio_decoder.cpp", "src/audio/audio_mixer.cpp"})
        command += " " + src + file;
    command += " $(pkg-config --cflags --libs sdl sndfile samplerate libopenmpt vorbisfile vorbis) > " +
               dir.file("log") + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << read_file(dir.file("log"));
    const std::string run = "TSAN_OPTIONS='halt_on_error=1 exitcode=66' " + dir.file("race") + " " +
                            dir.file("capture.raw") + " > " + dir.file("log") + " 2>&1";
    EXPECT_EQ(std::system(run.c_str()), 0) << read_file(dir.file("log"));
    EXPECT_NE(read_file(dir.file("log")).find("round 1:"), std::string::npos) << read_file(dir.file("log"));
}
