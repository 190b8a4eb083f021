// Parsing the maker's commands and formatting what the maker's mode shows.
#include "maker/maker_commands.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "resources/spline.h"

namespace {

std::vector<std::string_view> words_of(std::string_view line) {
    std::vector<std::string_view> words;
    size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r')) ++at;
        size_t end = at;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r') ++end;
        if (end > at) words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

bool parse_seconds(std::string_view word, float& out) {
    std::string text(word);
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || value < 0 || value > 1e7) return false;
    out = static_cast<float>(value);
    return true;
}

// Whether `word` is a time in seconds, or a BAR:BEAT of the tempo. When it is not, `why` holds
// what is wrong with a BAR:BEAT; for anything else the command's usage says it.
bool parse_time(std::string_view word, const Tempo& tempo, float& out, std::string& why) {
    if (beats_written(word)) {
        why = beats_parse(word, tempo, out);
        return why.empty();
    }
    return parse_seconds(word, out);
}

bool parse_index(std::string_view word, int& out) {
    if (word.empty() || word.size() > 7) return false;
    int value = 0;
    for (char c : word) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    out = value;
    return true;
}

bool parse_value(std::string_view word, float& out) {
    std::string text(word);
    char* end = nullptr;
    float value = std::strtof(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value)) return false;
    out = value;
    return true;
}

MakerCommand failure(std::string why) {
    MakerCommand c;
    c.error = std::move(why);
    return c;
}

}  // namespace

MakerCommand maker_command_parse(std::string_view line, const Tempo& tempo) {
    std::vector<std::string_view> w = words_of(line);
    if (w.empty()) return failure("empty command");
    MakerCommand c;
    const std::string_view name = w[0];
    const size_t args = w.size() - 1;
    struct Simple {
        std::string_view name;
        MakerCommandKind kind;
    };
    static const Simple simple[] = {{"undo", MakerCommandKind::Undo},     {"redo", MakerCommandKind::Redo},
                                    {"pause", MakerCommandKind::Pause},   {"play", MakerCommandKind::Play},
                                    {"reload", MakerCommandKind::Reload}, {"time", MakerCommandKind::Time},
                                    {"quit", MakerCommandKind::Quit}};
    for (const Simple& row : simple) {
        if (name != row.name) continue;
        if (args != 0) return failure(std::string(name) + " takes no argument");
        c.kind = row.kind;
        return c;
    }
    std::string why;
    if (name == "seek") {
        if (args != 1 || !parse_time(w[1], tempo, c.from, why))
            return failure(!why.empty() ? why : "seek needs one time in seconds, 0 or more");
        c.kind = MakerCommandKind::Seek;
        return c;
    }
    if (name == "loop") {
        if (args == 1 && w[1] == "off") {
            c.kind = MakerCommandKind::LoopOff;
            return c;
        }
        if (args != 2 || !parse_time(w[1], tempo, c.from, why) || !parse_time(w[2], tempo, c.to, why))
            return failure(!why.empty() ? why : "loop needs FROM and TO in seconds, or off");
        if (!(c.to > c.from)) return failure("loop needs TO after FROM");
        c.kind = MakerCommandKind::Loop;
        return c;
    }
    if (name == "key") {
        const std::string_view what = args >= 1 ? w[1] : "";
        if (args >= 2) c.file = std::string(w[2]);
        if (what == "set") {
            // A camera key dragged on its path moves two channels: one edit, one undo.
            bool good = args >= 5 && args % 2 == 1 && args <= 3 + 2 * SPLINE_MAX_CHANNELS &&
                        parse_index(w[3], c.key) && parse_index(w[4], c.channel) &&
                        parse_value(w[5], c.value);
            for (size_t at = 6; good && at < w.size(); at += 2) {
                std::pair<int, float> pair;
                good = parse_index(w[at], pair.first) && parse_value(w[at + 1], pair.second);
                c.also.push_back(pair);
            }
            if (!good)
                return failure("key set needs FILE KEY CHANNEL VALUE [CHANNEL VALUE]... (finite numbers)");
            c.kind = MakerCommandKind::KeySet;
        } else if (what == "insert" || what == "delete") {
            if (args != 3 || !parse_index(w[3], c.key))
                return failure(what == "insert" ? "key insert needs FILE AT" : "key delete needs FILE KEY");
            c.kind = what == "insert" ? MakerCommandKind::KeyInsert : MakerCommandKind::KeyDelete;
        } else if (what == "bias") {
            if ((args != 4 && args != 6) || !parse_index(w[3], c.channel) || !parse_value(w[4], c.value) ||
                (args == 6 && (!parse_index(w[5], c.key) || !parse_index(w[6], c.key_to))))
                return failure("key bias needs FILE CHANNEL DELTA [FROM TO]");
            c.kind = MakerCommandKind::KeyBias;
        } else {
            return failure("key needs set, insert, delete or bias");
        }
        return c;
    }
    if (name == "screenshot") {
        // The file name is the rest of the line, so it may hold blanks.
        size_t at = line.find(name) + name.size();
        std::string_view rest = line.substr(at);
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
        while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t' || rest.back() == '\r'))
            rest.remove_suffix(1);
        if (rest.empty()) return failure("screenshot needs a file name");
        c.kind = MakerCommandKind::Screenshot;
        c.file = std::string(rest);
        return c;
    }
    return failure("unknown command '" + std::string(name) + "'");
}

std::string maker_time_text(float seconds) {
    long hundredths =
        seconds > 0 ? static_cast<long>(std::floor(static_cast<double>(seconds) * 100.0 + 1e-6)) : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%02ld:%02ld.%02ld", hundredths / 6000, hundredths / 100 % 60,
                  hundredths % 100);
    return text;
}

std::string maker_status_text(float seconds, bool paused, bool loop_on, float loop_from, float loop_to,
                              const Tempo& tempo) {
    std::string text = maker_time_text(seconds);
    if (tempo.set()) text += "  bar " + beats_counter_text(tempo, seconds);
    text += paused ? "  paused" : "  playing";
    if (loop_on) text += "  loop " + maker_time_text(loop_from) + " - " + maker_time_text(loop_to);
    return text;
}

std::vector<std::string> maker_wrap(const std::string& text, size_t width) {
    std::vector<std::string> lines;
    if (width == 0) width = 1;
    size_t start = 0;
    while (start <= text.size()) {
        size_t feed = text.find('\n', start);
        std::string paragraph =
            text.substr(start, feed == std::string::npos ? std::string::npos : feed - start);
        while (paragraph.size() > width) {
            size_t cut = paragraph.rfind(' ', width);
            if (cut == std::string::npos || cut == 0) {
                lines.push_back(paragraph.substr(0, width));
                paragraph.erase(0, width);
            } else {
                lines.push_back(paragraph.substr(0, cut));
                paragraph.erase(0, cut + 1);
            }
        }
        lines.push_back(paragraph);
        if (feed == std::string::npos) break;
        start = feed + 1;
    }
    return lines;
}
