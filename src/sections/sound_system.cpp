// The sound system. Placeholder until the audio back end lands: no device, no streams.
#include "sections/sound.h"

void sound_init() {}
void sound_close() {}
float sound_cpu_usage() { return 0.0f; }
int sound_channels_playing() { return 0; }
