// Subject against floor in alternating rounds, and the one table row each comparison prints.
//
// Every benchmark program prints its rows on standard output as Markdown table rows
// ("| what | player | floor | ratio | spread |"); bench/run gathers them into one table. The
// ratio is taken round by round (a round of the player, then a round of the floor, then again),
// so that the load of other programs on a shared machine weighs on both sides of each ratio
// alike; the row shows the medians and, as the spread, half the range of the round ratios.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace rounds {

// What a figure is: its unit, and whether more of it is better (a rate) or less (a time).
struct Unit {
    const char* name;
    bool higher_is_better;
    const char* format = "%.1f";
};

inline const Unit ms_per_frame{"ms/frame", false, "%.2f"};
inline const Unit ms{"ms", false, "%.1f"};
inline const Unit seconds{"s", false, "%.2f"};
inline const Unit times_real_time{"x real time", true, "%.0f"};
inline const Unit percent_of_core{"% of a core", false, "%.2f"};
inline const Unit frames_per_second{"frames/s", true, "%.0f"};

inline double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// How many times as fast as the floor the player did the same work (1 = as fast).
inline double ratio_of(const Unit& unit, double player, double floor) {
    if (player <= 0 || floor <= 0) return 0;
    return unit.higher_is_better ? player / floor : floor / player;
}

inline std::string figure(const Unit& unit, double value) {
    char text[64];
    std::snprintf(text, sizeof text, unit.format, value);
    return std::string(text) + " " + unit.name;
}

// One row of the table from the figures of each round (paired by index).
inline void row(const std::string& what, const Unit& unit, const std::vector<double>& player,
                const std::vector<double>& floor) {
    std::vector<double> ratios;
    for (size_t i = 0; i < player.size() && i < floor.size(); ++i)
        ratios.push_back(ratio_of(unit, player[i], floor[i]));
    double spread = 0;
    if (!ratios.empty()) {
        auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
        spread = (*high - *low) / 2;
    }
    std::printf("| %s | %s | %s | %.2f | ±%.2f |\n", what.c_str(), figure(unit, median(player)).c_str(),
                figure(unit, median(floor)).c_str(), median(ratios), spread);
    std::fflush(stdout);
}

// A row of the player's figures alone, for work that has no floor yet.
inline void row_alone(const std::string& what, const Unit& unit, const std::vector<double>& player) {
    std::printf("| %s | %s | — | — | — |\n", what.c_str(), figure(unit, median(player)).c_str());
    std::fflush(stdout);
}

// `rounds` alternating rounds of the player and the floor; each returns its figure in `unit`.
template <typename Player, typename Floor>
void compare(const std::string& what, const Unit& unit, int rounds, Player&& player, Floor&& floor) {
    std::vector<double> p, f;
    for (int r = 0; r < rounds; ++r) {
        p.push_back(player());
        f.push_back(floor());
    }
    row(what, unit, p, f);
}

inline double seconds_since(std::chrono::steady_clock::time_point begin) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

// Milliseconds per call of `frame`, over at least `min_seconds` and `min_frames` calls.
template <typename Frame>
double ms_per_call(Frame&& frame, double min_seconds = 0.5, int min_frames = 3) {
    auto begin = std::chrono::steady_clock::now();
    int frames = 0;
    double spent = 0;
    while (spent < min_seconds || frames < min_frames) {
        frame(frames);
        ++frames;
        spent = seconds_since(begin);
    }
    return spent * 1000 / frames;
}

}  // namespace rounds
