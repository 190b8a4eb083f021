// The music layer: the sound system behind the sound section type.
#pragma once

// Starts the audio back end; fatal on failure.
void sound_init();
// Stops every stream and closes the back end; safe when never started.
void sound_close();
// Share of CPU time spent mixing, in percent.
float sound_cpu_usage();
// Streams playing now.
int sound_channels_playing();
