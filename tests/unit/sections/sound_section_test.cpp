#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/config.h"
#include "script/section.h"
#include "sections/audio_backend.h"
#include "sections/sound.h"
#include "sound_capture.h"
#include "test_support.h"

namespace {

const SectionType& sound_row() {
    return *section_types[section_type_find("sound")];
}

struct SoundSetting {
    explicit SoundSetting(int32_t value) : saved(sound) { sound = value; }
    ~SoundSetting() { sound = saved; }
    int32_t saved;
};

void call(SectionCallback callback, Section& s) {
    current_section = &s;
    callback();
}

Section sound_section(std::vector<std::string> strings) {
    Section s;
    s.type = section_type_find("sound");
    s.string_count = static_cast<int32_t>(strings.size());
    for (size_t i = 0; i < strings.size(); ++i) s.strings[i] = strings[i];
    return s;
}

// A demo directory with the back end running on the disk driver, closed at the end.
struct SoundDemo {
    SoundDemo() : chdir(dir.path) {
        EXPECT_EQ(fatal_message_of([] { sound_init(); }), "");
    }
    ~SoundDemo() { sound_close(); }
    SoundSetting on{1};
    DiskAudio disk;
    TempDir dir;
    ScopedChdir chdir;
};

}  // namespace

TEST(SoundErrorText, EveryCodeHasItsText) {
    const char* texts[] = {
        "No errors",
        "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first.",
        "This command failed because FSOUND_Init was not called",
        "Error initializing output device.",
        "The output device is already in use and cannot be reused.",
        "Playing the sound failed.",
        "Soundcard does not support the features needed for this soundsystem (16bit stereo output)",
        "Error setting cooperative level for hardware.",
        "Error creating hardware sound buffer.",
        "File not found",
        "Unknown file format",
        "Error loading file",
        "Not enough memory ",
        "The version number of this file format is not supported",
        "An invalid parameter was passed to this function",
        "Tried to use an EAX command on a non EAX enabled channel or output.",
        "Failed to allocate a new channel",
        "Recording not supported on this device",
        "Required Mediaplayer codec is not installed",
    };
    for (int code = 0; code <= 18; ++code) EXPECT_STREQ(sound_error_text(code), texts[code]) << code;
    EXPECT_STREQ(sound_error_text(19), "Unknown error");
    EXPECT_STREQ(sound_error_text(-1), "Unknown error");
    EXPECT_STREQ(sound_error_text(INT_MIN), "Unknown error");
    EXPECT_STREQ(sound_error_text(INT_MAX), "Unknown error");
}

TEST(SoundSystem, FiguresAreZeroWhenNeverStartedAndStartingTwiceFails) {
    sound_close();
    EXPECT_FLOAT_EQ(sound_cpu_usage(), 0.0f);
    EXPECT_EQ(sound_channels_playing(), 0);
    DiskAudio disk;
    EXPECT_EQ(fatal_message_of([] { sound_init(); }), "");
    EXPECT_EQ(fatal_message_of([] { sound_init(); }),
              "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first.");
    sound_close();
    sound_close();
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_EQ(fatal_message_of([] { sound_init(); }), "Error initializing output device.");
}

// A WAV cut inside its header is recognised but cannot be read.
TEST(SoundSection, AFileCutShortIsAnErrorLoadingIt) {
    SoundDemo demo;
    write_file(demo.dir.file("cut.wav"), sweep_wav(44100, 0.1).substr(0, 30));
    Section cut = sound_section({"cut.wav"});
    EXPECT_EQ(fatal_message_of([&] { call(sound_row().init, cut); }), "Error loading file");
}

TEST(SoundSection, StartsAtTheElapsedMillisecondAndStops) {
    SoundDemo demo;
    write_file(demo.dir.file("music.wav"), sweep_wav(44100, 3.0));
    Section s = sound_section({"music.wav"});
    ASSERT_EQ(fatal_message_of([&] { call(sound_row().init, s); }), "");
    ASSERT_NE(s.data, nullptr);
    s.elapsed = 1.2509f;  // 1250 ms once truncated
    ASSERT_EQ(fatal_message_of([&] { call(sound_row().start, s); }), "");
    EXPECT_EQ(sound_channels_playing(), 1);
    ASSERT_TRUE(demo.disk.wait_frames(demo.disk.frames_written() + 12000));
    call(sound_row().stop, s);
    EXPECT_EQ(sound_channels_playing(), 0);
    sound_close();
    EXPECT_GE(sweep_match(demo.disk.capture(), 55125, 8192), 8192);
}

TEST(SoundSection, MusicLoadsFromInsideAnArchive) {
    if (std::system("command -v zip >/dev/null 2>&1") != 0) GTEST_SKIP() << "zip is not installed";
    SoundDemo demo;
    write_file(demo.dir.file("pack/music.wav"), sweep_wav(44100, 1.0));
    std::string cmd =
        "cd '" + demo.dir.path + "/pack' && zip -q -9 ../data.zip music.wav && cd .. && rm -r pack";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    Section s = sound_section({"data/music.wav"});
    ASSERT_EQ(fatal_message_of([&] { call(sound_row().init, s); }), "");
    s.elapsed = 0.5f;
    ASSERT_EQ(fatal_message_of([&] { call(sound_row().start, s); }), "");
    ASSERT_TRUE(demo.disk.wait_frames(demo.disk.frames_written() + 8000));
    sound_close();
    EXPECT_GE(sweep_match(demo.disk.capture(), 22050, 4096), 4096);
}
