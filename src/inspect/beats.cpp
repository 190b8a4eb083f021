// The musical clock: seconds to bars and beats and back, and their texts.
#include "inspect/beats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/config.h"

namespace {

// The latest time a command may name, as for times in seconds.
constexpr double LATEST_SECONDS = 1e7;

bool digits_only(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool Tempo::set() const {
    return std::isfinite(bpm) && bpm > 0 && beats_per_bar >= 1;
}

double Tempo::seconds_per_bar() const {
    return beats_per_bar * 60.0 / static_cast<double>(bpm);
}

Tempo tempo_of(const ShowSettings& settings) {
    return {settings.bpm, settings.beats_per_bar};
}

BarBeat beats_at(const Tempo& tempo, double seconds) {
    if (!tempo.set() || !(seconds > 0)) return {};
    const double beats = seconds * static_cast<double>(tempo.bpm) / 60.0;
    // A float holds a time to about one part in 2^24: a beat's time read back from one may fall
    // that much short of it.
    const double thousandths = std::floor((beats + 1e-9 + beats * 1.2e-7) * 1000.0);
    const double per_bar = tempo.beats_per_bar * 1000.0;
    const double bar = std::floor(thousandths / per_bar);
    const double into = std::clamp(thousandths - bar * per_bar, 0.0, per_bar - 1);
    return {bar + 1, 1 + into / 1000.0};
}

double beats_seconds(const Tempo& tempo, double bar, double beat) {
    return ((bar - 1) * tempo.beats_per_bar + (beat - 1)) * 60.0 / static_cast<double>(tempo.bpm);
}

bool beats_written(std::string_view word) {
    return word.find(':') != std::string_view::npos;
}

std::string beats_parse(std::string_view word, const Tempo& tempo, float& seconds) {
    if (!tempo.set()) return "no tempo: set bpm to use bars";
    const size_t colon = word.find(':');
    const std::string bar_text(word.substr(0, colon));
    const std::string beat_text(colon == std::string_view::npos ? "" : word.substr(colon + 1));
    char* end = nullptr;
    const double beat = std::strtod(beat_text.c_str(), &end);
    if (!digits_only(bar_text) || beat_text.empty() || *end != '\0' || !std::isfinite(beat))
        return "'" + std::string(word) + "' is not BAR:BEAT, e.g. 17:1 or 9:2.5";
    const double bar = std::strtod(bar_text.c_str(), nullptr);
    if (bar < 1) return "bars count from 1";
    const double beats_after = tempo.beats_per_bar + 1.0;
    if (!(beat >= 1 && beat < beats_after)) {
        char why[96];
        std::snprintf(why, sizeof why, "a bar of %d beats has beats from 1 to below %.0f",
                      tempo.beats_per_bar, beats_after);
        return why;
    }
    const double at = beats_seconds(tempo, bar, beat);
    if (!(at <= LATEST_SECONDS)) return "bar " + bar_text + " lies past 10000000 seconds";
    seconds = static_cast<float>(at);
    return "";
}

std::string beats_text(const Tempo& tempo, double seconds) {
    const BarBeat at = beats_at(tempo, seconds);
    char text[64];
    std::snprintf(text, sizeof text, "%.0f:%.3f", at.bar, at.beat);
    return text;
}

std::string beats_counter_text(const Tempo& tempo, double seconds) {
    const BarBeat at = beats_at(tempo, seconds);
    char text[64];
    std::snprintf(text, sizeof text, "%.0f.%.0f", at.bar, std::floor(at.beat));
    return text;
}
