// The sound system: start-up and close of the audio back end, the overlay's two figures and
// the texts of the back end's error codes.
#include "base/error.h"
#include "audio/audio_backend.h"
#include "audio/sound_system.h"

namespace {

constexpr int SOUND_CHANNELS = 32;

const char* const error_texts[] = {
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
constexpr int ERROR_TEXT_COUNT = static_cast<int>(sizeof error_texts / sizeof error_texts[0]);

}  // namespace

const char* sound_error_text(int code) {
    if (code < 0 || code >= ERROR_TEXT_COUNT) return "Unknown error";
    return error_texts[code];
}

void sound_init() {
    if (!audio_versions_ok()) fatal_error("%s", sound_error_text(audio_error()));
    if (!audio_start(SOUND_MIX_RATE, SOUND_CHANNELS)) fatal_error("%s", sound_error_text(audio_error()));
}

void sound_close() {
    audio_close();
}

float sound_cpu_usage() {
    return audio_cpu_usage();
}

int sound_channels_playing() {
    return audio_channels_playing();
}
