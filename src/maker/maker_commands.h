// The maker's mode as text: the commands read on standard input, the status line and the
// error panel's lines.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "inspect/beats.h"

enum class MakerCommandKind {
    Seek,
    Pause,
    Play,
    Loop,
    LoopOff,
    Reload,
    Time,
    Screenshot,
    Quit,
    KeySet,
    KeyInsert,
    KeyDelete,
    KeyBias,
    Undo,
    Redo
};

struct MakerCommand {
    MakerCommandKind kind = MakerCommandKind::Time;
    float from = 0;    // seek: the time; loop: its start
    float to = 0;      // loop: its end
    std::string file;  // screenshot; a key edit's spline file
    // A key edit: the key (insert: the position; bias: the first key), the channel, the value
    // (bias: the delta) and bias's last key (-1: every key to the last).
    int key = 0;
    int channel = 0;
    float value = 0;
    int key_to = -1;
    // key set: the further CHANNEL VALUE pairs of the same key, set in the same edit.
    std::vector<std::pair<int, float>> also;
    // Why the line is not a command ("" when it is one); answered as "error <this>".
    std::string error;
};

// One line (without its line end; blanks around words are ignored). Times are seconds, finite
// and not negative, or with a tempo BAR:BEAT; a loop's end lies after its start. Keys and
// channels are whole numbers from 0, values finite; whether they fit the file is the edit's to say.
// A key set takes at most as many CHANNEL VALUE pairs as a spline has channels.
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
