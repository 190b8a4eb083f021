// The maker's command channels: lines of commands on standard input, answered on standard output,
// and the console (--serve), whose clients send commands and are told events and the time line.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "inspect/check.h"
#include "inspect/timeline.h"
#include "maker/console.h"
#include "maker/maker_playback.h"

// Answers a command line; the answer is one line.
using CommandAnswerer = std::function<std::string(const std::string& line)>;

class InputLines {
  public:
    // Answers every whole line standard input holds now, without waiting, until `quit` is set.
    void read(const CommandAnswerer& answer, const bool& quit);
    // Waits `ms` milliseconds or until standard input has something to read.
    void wait(int ms) const;

  private:
    std::string input_;
    bool dropping_line_ = false;  // the rest of an over-long line is being skipped
    bool open_ = true;
};

class ConsoleChannel {
  public:
    // Serves the console; false (and `why`) when it cannot.
    bool start(const std::string& address, int port, std::string& why);
    // The address serving, a warning when it is reachable beyond this machine, and the note an
    // editor's language server finds it by.
    void announce() const;
    // Answers the commands the clients sent, until `quit` is set.
    void read(const CommandAnswerer& answer, const bool& quit);
    // Events: the time while playing (at most 20 a second) and on every change while paused,
    // the loop when it changes; a client that just came is told both.
    void tell(const Playback& play);
    void broadcast(const std::string& event) const;
    // The time line of the demo just built; the music is decoded again only when what its
    // loudness depends on changed.
    void collect_timeline(const Demo& demo);
    // What timeline.json and timeline.svg show: the time line of the last demo built, the
    // problems of the last load.
    void publish(const std::vector<CheckProblem>& problems) const;
    // What splines.json shows.
    void publish_splines(std::string json) const {
        if (console_ != nullptr) console_->publish_splines(std::move(json));
    }
    bool serving() const { return console_ != nullptr; }
    void stop() { console_.reset(); }

  private:
    std::unique_ptr<Console> console_;
    TimelineInput timeline_;
    std::string music_key_;  // what timeline_'s loudness was measured for
    uint32_t time_event_ticks_ = 0;
    std::string last_time_event_, last_loop_event_;
};
