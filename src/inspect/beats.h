// The musical clock: demo time in bars and beats of a steady tempo. Bar 1 beat 1 is time 0;
// with B beats a minute and N beats a bar, bar b beat k is at ((b - 1) × N + (k - 1)) × 60 / B
// seconds. Bars and beats count from 1; a beat may be fractional (beat 2.5 is halfway between
// the second and the third).
#pragma once

#include <string>
#include <string_view>

struct Tempo {
    float bpm = 0;  // beats a minute; none unless finite and above 0
    int beats_per_bar = 4;

    bool set() const;
    double seconds_per_bar() const;
};

struct ShowSettings;

// The tempo the settings give.
Tempo tempo_of(const ShowSettings& settings);

// A time as bar and beat: the bar from 1, the beat from 1 to below beats_per_bar + 1 in whole
// thousandths, truncated. A time that falls short of a thousandth by no more than a float's
// rounding counts as that thousandth, so that the seconds of a bar show as that bar. Times
// before 0 are bar 1 beat 1.
struct BarBeat {
    double bar = 1;
    double beat = 1;
};
BarBeat beats_at(const Tempo& tempo, double seconds);

// Seconds at bar `bar`, beat `beat`.
double beats_seconds(const Tempo& tempo, double bar, double beat);

// Whether `word` is written as BAR:BEAT (holds a colon), whatever its numbers.
bool beats_written(std::string_view word);

// "BAR:BEAT" (e.g. "17:1", "9:2.5") to seconds: "" when it is one, else why not. The bar is a
// whole number from 1, the beat from 1 to below beats_per_bar + 1.
std::string beats_parse(std::string_view word, const Tempo& tempo, float& seconds);

// "BAR:BEAT" with the beat to three decimals, e.g. "2:2.000": read back by beats_parse, it gives
// the time within a thousandth of a beat.
std::string beats_text(const Tempo& tempo, double seconds);

// "BAR.BEAT" with the beat whole, e.g. "17.1", as a counter shows it.
std::string beats_counter_text(const Tempo& tempo, double seconds);
