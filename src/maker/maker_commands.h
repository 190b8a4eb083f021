// The maker's mode as text: the commands read on standard input, the status line and the
// error panel's lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "inspect/beats.h"

enum class MakerCommandKind { Seek, Pause, Play, Loop, LoopOff, Reload, Time, Screenshot, Quit };

struct MakerCommand {
    MakerCommandKind kind = MakerCommandKind::Time;
    float from = 0;    // seek: the time; loop: its start
    float to = 0;      // loop: its end
    std::string file;  // screenshot
    // Why the line is not a command ("" when it is one); answered as "error <this>".
    std::string error;
};

// One line (without its line end; blanks around words are ignored). Times are seconds, finite
// and not negative, or with a tempo BAR:BEAT; a loop's end lies after its start.
MakerCommand maker_command_parse(std::string_view line, const Tempo& tempo);

// "mm:ss.hh": minutes, seconds and hundredths, truncated; negative times show as 00:00.00.
std::string maker_time_text(float seconds);

// The status line: time, with a tempo its bar and beat, "playing" or "paused", and the loop when
// one is set.
std::string maker_status_text(float seconds, bool paused, bool loop_on, float loop_from, float loop_to,
                              const Tempo& tempo);

// Splits a message into lines of at most `width` characters, breaking at blanks where it can;
// line feeds in the message are kept.
std::vector<std::string> maker_wrap(const std::string& text, size_t width);
