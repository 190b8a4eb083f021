// The music layer: the sound system behind the sound section type.
#pragma once

// The rate the back end mixes at.
inline constexpr int SOUND_MIX_RATE = 44100;

// Checks the audio libraries and starts the audio back end (44100 Hz, 32 streams); fatal on
// failure, with the text of the back end's last error.
void sound_init();
// Stops every stream and closes the back end; safe when never started.
void sound_close();
// Whether the back end is started: the start-up starts it when the window's `sound` setting
// asks for it, and the music plays only then.
bool sound_started();
// Share of CPU time spent mixing, in percent; 0 when the back end never started.
float sound_cpu_usage();
// Streams playing now; 0 when the back end never started.
int sound_channels_playing();
// The text for a back end error code (AudioError); "Unknown error" for any other number.
const char* sound_error_text(int code);
