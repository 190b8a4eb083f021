// The demo's time line as a picture (tarvel --timeline FILE.svg): one lane per layer with a box
// per section, sync marks, the demo's window, the loading screen apart and the music's loudness
// below. The layout is pure (timeline_svg turns numbers and names into SVG text); reading the
// scripts' sections and the music, and writing the file, are separate steps.
//
// Scale: x = TIMELINE_LEFT + t × pixels a second, with the pixels a second the largest of
// timeline_scales whose axis (the latest time any section, sync or mark names) stays within
// TIMELINE_AXIS_WIDTH pixels; the axis has a grid line, labelled in seconds, every grid step.
// With a tempo, a thin line marks each bar across the lanes and a stronger one bars 1, 5, 9 and
// so on; where bars lie closer than TIMELINE_MIN_BAR_PX, only every 4th (16th, ...) has its line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "inspect/beats.h"

struct Demo;

inline constexpr float TIMELINE_LEFT = 110;
inline constexpr float TIMELINE_AXIS_WIDTH = 1600;
inline constexpr float timeline_scales[] = {160, 100, 80, 50, 40, 20, 10, 5, 2, 1};
// Loudness: one value a slice of this many seconds, drawn as the RMS level in decibels from
// TIMELINE_FLOOR_DB (no bar) up to 0 dB (a full bar).
inline constexpr float TIMELINE_SLICE = 0.05f;
inline constexpr float TIMELINE_FLOOR_DB = -48;
inline constexpr float TIMELINE_MIN_BAR_PX = 6;

enum class TimelineKind { Scene, Particles, Effect, Sound };

// One section as the picture shows it.
struct TimelineBox {
    std::string type;
    std::string file;  // the file that says most about it; "" when it names none
    float start = 0;
    float end = 0;
    int layer = 0;
    std::vector<float> syncs;
    bool kept = true;                // takes part in a run between demo_start and demo_end
    std::string script;              // where it was written, as discovery names the script
    int line = 0;                    // its header's line
    std::vector<std::string> files;  // every string and spline it names, the main file first
};

struct TimelineInput {
    std::string title;
    std::vector<TimelineBox> boxes;      // in order of parsing
    std::optional<TimelineBox> loading;  // the loading screen, drawn apart from the show
    float demo_start = 0;
    float demo_end = 0;           // 0: the show runs to its last section's end
    bool music = false;           // some sound section plays
    std::vector<float> loudness;  // RMS level (0 to 1) of each slice from 0 s
    Tempo tempo;                  // bar lines when set
};

TimelineKind timeline_kind(const std::string& type);

// Pixels a second and grid step in seconds for an axis that must reach `length` seconds.
float timeline_scale(float length);
float timeline_grid_step(float scale);

// Text and attribute values made safe for XML: the five special characters as entities, bytes
// that are not UTF-8 and control characters as U+FFFD.
std::string xml_escape(const std::string& text);

// The whole picture as a standalone SVG document.
std::string timeline_svg(const TimelineInput& input);

// The picture's input from the parsed scripts, titled with the demo's `name` ("Tarvel demo" when
// empty), with the music decoded (no sound device) for its loudness unless `measure` is false.
TimelineInput timeline_collect(const Demo& demo, const std::string& name, bool measure = true);
// The music's loudness, decoded for `in` collected from `demo` without it.
void timeline_measure(const Demo& demo, TimelineInput& in);
// What the loudness depends on: the sound sections' spans and files (their sizes and times of
// change) and the length of the axis. Equal keys measure the same loudness; "" (a file not
// found, as in an archive) is never taken as equal.
std::string timeline_music_key(const TimelineInput& in);

// Writes the picture of the parsed scripts to `path` whole or not at all: it goes to a
// temporary file beside it that takes its name only when complete. Errors are fatal.
void timeline_write(const Demo& demo, const std::string& name, const std::string& path);
