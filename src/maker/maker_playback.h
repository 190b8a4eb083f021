// The maker's playback: the demo playing, its clock paused or running, seeks, the loop between
// two times, and the broken state in which the show stands still until the next change.
#pragma once

#include <memory>
#include <string>

#include "sections/demo.h"

class Playback {
  public:
    // The demo playing; a broken one that failed while loading is gone (null), one whose
    // scripts were refused stands still.
    std::unique_ptr<Demo> demo;
    bool playing = true;
    bool broken = false;
    std::string error;
    // A frame at a new time is wanted (a seek or a reload asked for one).
    bool fresh_frame = true;
    bool loop_from_set = false, loop_to_set = false;
    float loop_from = 0, loop_to = 0;

    float now() const { return broken || demo == nullptr ? held_time_ : demo->time; }
    // The show settings of the demo playing; the defaults while there is none.
    const ShowSettings& settings() const;
    // Whether frames follow one another, or the last one is shown again.
    bool still() const { return broken || !playing; }
    bool loop_on() const { return loop_from_set && loop_to_set && loop_to > loop_from; }

    void seek(float t);
    void set_playing(bool on);
    // The show stands still at `at`, showing `message`, until the next change or reload.
    void go_broken(const std::string& message, float at);
    // The demo just built plays on from `t`.
    void start_at(float t);

    void set_loop(float from, float to);
    void loop_off() { loop_from_set = loop_to_set = false; }
    // Before a frame while playing: back to the loop's start once past its end.
    void wrap_loop();
    // After the frame shown at `shown`: the clock moves on, or play pauses at the end.
    void after_frame(float shown);

  private:
    float held_time_ = 0;  // the show's time while it is broken
    float play_from_ = 0;  // where play last (re)started: before demo_end, play pauses there

    float clamp_time(float t) const;
    float stop_time() const;
};
