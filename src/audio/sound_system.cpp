// The sound system: start-up and close of the audio back end, the overlay's two figures and
// the texts of the back end's error codes.
#include "base/error.h"
#include "audio/audio_backend.h"
#include "audio/sound_system.h"

namespace {

constexpr int SOUND_CHANNELS = 32;

// The message for each code the back end raises. The texts are the ones demo makers know from
// the player's earlier sound library, kept word for word as they are what a failed start shows.
struct ErrorText {
    AudioError code;
    const char* text;
};
constexpr ErrorText error_texts[] = {
    {AUDIO_OK, "No errors"},
    {AUDIO_ERR_ALREADY_STARTED, "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first."},
    {AUDIO_ERR_NOT_STARTED, "This command failed because FSOUND_Init was not called"},
    {AUDIO_ERR_DEVICE, "Error initializing output device."},
    {AUDIO_ERR_DEVICE_BUSY, "The output device is already in use and cannot be reused."},
    {AUDIO_ERR_PLAY, "Playing the sound failed."},
    {AUDIO_ERR_OUTPUT_FORMAT,
     "Soundcard does not support the features needed for this soundsystem (16bit stereo output)"},
    {AUDIO_ERR_FILE_NOT_FOUND, "File not found"},
    {AUDIO_ERR_FORMAT, "Unknown file format"},
    {AUDIO_ERR_FILE_BAD, "Error loading file"},
    {AUDIO_ERR_MEMORY, "Not enough memory "},
    {AUDIO_ERR_VERSION, "The version number of this file format is not supported"},
    {AUDIO_ERR_PARAMETER, "An invalid parameter was passed to this function"},
    {AUDIO_ERR_CHANNEL, "Failed to allocate a new channel"},
};

}  // namespace

const char* sound_error_text(int code) {
    for (const ErrorText& e : error_texts)
        if (e.code == code) return e.text;
    return "Unknown error";
}

void sound_init() {
    if (!audio_versions_ok()) fatal_error("%s", sound_error_text(audio_error()));
    if (!audio_start(SOUND_MIX_RATE, SOUND_CHANNELS)) fatal_error("%s", sound_error_text(audio_error()));
}

void sound_close() {
    audio_close();
}

bool sound_started() {
    return audio_started();
}

float sound_cpu_usage() {
    return audio_cpu_usage();
}

int sound_channels_playing() {
    return audio_channels_playing();
}
