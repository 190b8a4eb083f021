// The audio back end under ThreadSanitizer: its sources and a driver that works the streams
// from the main thread while the mixer runs, built with -fsanitize=thread and run; any race
// report fails the run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "test_support.h"

namespace {
std::string quoted(const std::string& s) {
    return "'" + s + "'";
}
}  // namespace

TEST(SoundRaces, MainThreadCommandsAndTheMixerShareNoUnguardedState) {
    TempDir dir;
    const std::string src = TARVEL_SOURCE_DIR;
    const std::string binary = dir.file("race");
    const std::string log = dir.file("build.log");
    std::string command = "g++ -std=c++20 -O1 -g -fsanitize=thread";
    command += " -I" + quoted(src + "/src") + " -I" + quoted(src + "/tests/support");
    for (const char* name : {"SNDFILE", "SAMPLERATE", "VORBIS"})
        command += std::string(" -DTARVEL_") + name + "_BUILD_VERSION='\"0\"'";
    for (const char* file : {"tests/e2e/sound_race_driver.cc", "src/audio/audio_backend.cpp",
                             "src/audio/audio_decoder.cpp", "src/audio/audio_mixer.cpp"})
        command += " " + quoted(src + "/" + file);
    command += " -o " + quoted(binary);
    command += " $(pkg-config --cflags --libs sdl sndfile samplerate libopenmpt vorbisfile vorbis)";
    command += " >" + quoted(log) + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << read_file(log);

    const std::string out = dir.file("run.log");
    std::string run = "TSAN_OPTIONS='halt_on_error=1 exitcode=66' " + quoted(binary) + " " +
                      quoted(dir.file("capture.raw")) + " >" + quoted(out) + " 2>&1";
    int status = std::system(run.c_str());
    std::string report = read_file(out);
    EXPECT_EQ(status, 0) << report;
    EXPECT_EQ(report.find("ThreadSanitizer"), std::string::npos) << report;
    EXPECT_NE(report.find("round 1:"), std::string::npos) << report;
}
