// The maker's playback: seeking, pausing and looping the demo on the SDL clock.
#include "maker/maker_playback.h"

#include <SDL/SDL.h>

#include "audio/audio_backend.h"
#include "runtime/sequencer.h"

float Playback::clamp_time(float t) const {
    float last = sequence_last_end(*demo);
    if (t > last) t = last;
    return t > 0 ? t : 0;
}

const ShowSettings& Playback::settings() const {
    static const ShowSettings none;
    return demo != nullptr ? demo->settings : none;
}

float Playback::stop_time() const {
    float last = sequence_last_end(*demo);
    const float end = demo->settings.demo_end;
    return end > 0.0f && play_from_ < end && end < last ? end : last;
}

void Playback::seek(float t) {
    if (broken) {
        held_time_ = t > 0 ? t : 0;
        return;
    }
    t = clamp_time(t);
    sequence_seek(*demo, t);
    play_from_ = t;
    fresh_frame = true;
}

void Playback::set_playing(bool on) {
    if (on && !broken && demo->time >= stop_time() && !loop_on()) seek(demo->settings.demo_start);
    playing = on;
    audio_pause(!on || broken);
    if (on && !broken) {
        // The clock runs on from the time shown.
        demo->clock_base =
            static_cast<float>(SDL_GetTicks()) * 0.001f - (demo->time - demo->settings.demo_start);
        play_from_ = demo->time;
    }
}

void Playback::go_broken(const std::string& message, float at) {
    broken = true;
    error = message;
    held_time_ = at;
    set_playing(playing);
}

void Playback::start_at(float t) {
    broken = false;
    error.clear();
    play_from_ = t;
    seek(t);
}

void Playback::set_loop(float from, float to) {
    loop_from = from;
    loop_to = to;
    loop_from_set = loop_to_set = true;
}

void Playback::wrap_loop() {
    if (loop_on() && demo->time >= loop_to) seek(loop_from);
}

void Playback::after_frame(float shown) {
    if (shown >= stop_time() && !(loop_on() && loop_to > shown)) {
        set_playing(false);
        return;
    }
    clock_advance(*demo);
}
