// Spline files as text to edit: read as spline_load reads them, rewritten number by number.
#include "resources/spline_text.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "resources/text_lines.h"

std::string spline_text_parse(const std::string& bytes, SplineText& out) {
    SplineText s;
    s.bytes = bytes;
    LineReader lines(s.bytes);
    char buffer[SPLINE_LINE_SIZE];
    size_t at = 0;
    bool first_line = true;
    for (int stored; (stored = lines.line(buffer, sizeof buffer)) > 0; at += static_cast<size_t>(stored)) {
        size_t skip = 0;
        if (first_line && std::strncmp(buffer, "\xEF\xBB\xBF", 3) == 0) skip = 3;
        first_line = false;
        const char* line = buffer + skip;
        if (line[0] == ';' || line[0] == '\n' || line[0] == '\r') continue;
        TextNumber numbers[SPLINE_MAX_CHANNELS];
        const int count = text_scan_vector(line, numbers, SPLINE_MAX_CHANNELS);
        if (count > SPLINE_MAX_CHANNELS) return "more than 16 numbers on a line";
        if (s.channels == 0) {
            if (count == 0) return "incorrect format";
            s.channels = count;
        } else if (count != s.channels) {
            return "incorrect channel";
        }
        SplineTextKey key;
        key.begin = at + skip;
        key.end = at + static_cast<size_t>(stored);
        // The LF of a CR LF is a line of its own to the reader, but belongs to this one.
        if (buffer[stored - 1] == '\r' && key.end < s.bytes.size() && s.bytes[key.end] == '\n') ++key.end;
        for (int i = 0; i < count; ++i) {
            key.number_begin[i] = key.begin + numbers[i].begin;
            key.number_end[i] = key.begin + numbers[i].end;
            key.values[i] = numbers[i].value;
        }
        s.keys.push_back(key);
    }
    if (lines.too_large()) return "larger than 8 MB";
    if (s.keys.empty()) return "incorrect format";
    out = std::move(s);
    return "";
}

std::string spline_number_text(float value) {
    // Fixed notation: an exponent's 'e' would end the number for the reader.
    char text[64];
    auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    if (error != std::errc()) return "0";
    return std::string(text, end);
}

namespace {

using Values = std::vector<float>;

Values values_of(const SplineText& s, int key) {
    const SplineTextKey& k = s.keys[static_cast<size_t>(key)];
    return Values(k.values, k.values + s.channels);
}

// The key's line with its numbers replaced by `values` where they differ.
std::string line_with(const SplineText& s, int key, const Values& values) {
    const SplineTextKey& k = s.keys[static_cast<size_t>(key)];
    std::string line;
    size_t at = k.begin;
    for (int i = 0; i < s.channels; ++i) {
        line.append(s.bytes, at, k.number_begin[i] - at);
        if (values[static_cast<size_t>(i)] == k.values[i] &&
            std::signbit(values[static_cast<size_t>(i)]) == std::signbit(k.values[i]))
            line.append(s.bytes, k.number_begin[i], k.number_end[i] - k.number_begin[i]);
        else
            line += spline_number_text(values[static_cast<size_t>(i)]);
        at = k.number_end[i];
    }
    line.append(s.bytes, at, k.end - at);
    return line;
}

bool ends_line(const std::string& line) {
    return !line.empty() && (line.back() == '\n' || line.back() == '\r');
}

std::string line_end_of(const std::string& bytes) {
    const size_t at = bytes.find_first_of("\r\n");
    if (at == std::string::npos) return "\n";
    return bytes.compare(at, 2, "\r\n") == 0 ? "\r\n" : bytes.substr(at, 1);
}

bool same(const Values& a, const SplineTextKey& k) {
    for (size_t i = 0; i < a.size(); ++i)
        if (!(a[i] == k.values[i]) || std::signbit(a[i]) != std::signbit(k.values[i])) return false;
    return true;
}

// Takes `bytes` when they read back as exactly the keys `wanted`: a line grown past what the
// reader takes at once would be cut in two.
std::string adopt(SplineText& s, std::string bytes, const std::vector<Values>& wanted) {
    SplineText next;
    std::string why = spline_text_parse(bytes, next);
    bool ok = why.empty() && next.channels == s.channels && next.keys.size() == wanted.size();
    for (size_t k = 0; ok && k < wanted.size(); ++k) ok = same(wanted[k], next.keys[k]);
    if (!ok) return "a line would grow longer than 255 bytes";
    s = std::move(next);
    return "";
}

std::vector<Values> all_values(const SplineText& s) {
    std::vector<Values> all;
    for (size_t k = 0; k < s.keys.size(); ++k) all.push_back(values_of(s, static_cast<int>(k)));
    return all;
}

// The text with the keys' values replaced as `wanted` says, each changed line rewritten.
std::string rewrite(SplineText& s, const std::vector<Values>& wanted) {
    std::string bytes;
    size_t at = 0;
    for (size_t k = 0; k < s.keys.size(); ++k) {
        const SplineTextKey& key = s.keys[k];
        bytes.append(s.bytes, at, key.begin - at);
        bytes += line_with(s, static_cast<int>(k), wanted[k]);
        at = key.end;
    }
    bytes.append(s.bytes, at, std::string::npos);
    return adopt(s, std::move(bytes), wanted);
}

std::string key_range(const SplineText& s, int key) {
    if (key < 0 || key >= static_cast<int>(s.keys.size()))
        return "key " + std::to_string(key) + " out of range (" + std::to_string(s.keys.size()) + " keys)";
    return "";
}

std::string channel_range(const SplineText& s, int channel) {
    if (channel < 0 || channel >= s.channels)
        return "channel " + std::to_string(channel) + " out of range (" + std::to_string(s.channels) +
               " channels)";
    return "";
}

}  // namespace

std::string spline_text_set(SplineText& s, int key, int channel, float value) {
    std::string why = key_range(s, key);
    if (why.empty()) why = channel_range(s, channel);
    if (why.empty() && !std::isfinite(value)) why = "the value is not a finite number";
    if (!why.empty()) return why;
    std::vector<Values> wanted = all_values(s);
    wanted[static_cast<size_t>(key)][static_cast<size_t>(channel)] = value;
    return rewrite(s, wanted);
}

std::string spline_text_bias(SplineText& s, int channel, float delta, int from, int to) {
    std::string why = channel_range(s, channel);
    if (why.empty()) why = key_range(s, from);
    if (why.empty()) why = key_range(s, to);
    if (why.empty() && from > to) why = "FROM lies after TO";
    if (why.empty() && !std::isfinite(delta)) why = "the value is not a finite number";
    if (!why.empty()) return why;
    std::vector<Values> wanted = all_values(s);
    for (int k = from; k <= to; ++k) {
        float& v = wanted[static_cast<size_t>(k)][static_cast<size_t>(channel)];
        v += delta;
        if (!std::isfinite(v)) return "the value would not be a finite number";
    }
    return rewrite(s, wanted);
}

std::string spline_text_delete(SplineText& s, int key) {
    std::string why = key_range(s, key);
    if (!why.empty()) return why;
    if (s.keys.size() == 1) return "a spline keeps at least one key";
    std::vector<Values> wanted = all_values(s);
    wanted.erase(wanted.begin() + key);
    const SplineTextKey& k = s.keys[static_cast<size_t>(key)];
    std::string bytes = s.bytes;
    bytes.erase(k.begin, k.end - k.begin);
    return adopt(s, std::move(bytes), wanted);
}

std::string spline_text_insert(SplineText& s, int at) {
    const int n = static_cast<int>(s.keys.size());
    if (at < 0 || at > n)
        return "position " + std::to_string(at) + " out of range (0 to " + std::to_string(n) + ")";
    std::vector<Values> wanted = all_values(s);
    std::string line;
    Values values;
    if (at == 0 || at == n) {
        // At either end the curve has no neighbour beyond: the end key, copied.
        const int end_key = at == 0 ? 0 : n - 1;
        const SplineTextKey& k = s.keys[static_cast<size_t>(end_key)];
        line = s.bytes.substr(k.begin, k.end - k.begin);
        values = values_of(s, end_key);
    } else {
        // Halfway between the neighbours, whatever the span the keys are spread over.
        Spline curve;
        spline_from_text(s, curve);
        spline_set_duration(&curve, static_cast<float>(n - 1));
        float out[SPLINE_MAX_CHANNELS];
        spline_eval(&curve, out, static_cast<float>(at) - 0.5f);
        values.assign(out, out + s.channels);
        line = line_with(s, at - 1, values);
    }
    std::string bytes = s.bytes;
    if (at < n) {
        if (!ends_line(line)) line += line_end_of(s.bytes);
        bytes.insert(s.keys[static_cast<size_t>(at)].begin, line);
    } else {
        const SplineTextKey& last = s.keys[static_cast<size_t>(n - 1)];
        std::string added = line;
        if (!ends_line(bytes.substr(last.begin, last.end - last.begin))) {
            added = line_end_of(s.bytes) + line;
        }
        bytes.insert(last.end, added);
    }
    wanted.insert(wanted.begin() + at, values);
    return adopt(s, std::move(bytes), wanted);
}

void spline_from_text(const SplineText& s, Spline& out) {
    out.keys.assign(s.keys.size(), SplineKey());
    for (size_t k = 0; k < s.keys.size(); ++k)
        std::memcpy(out.keys[k].values, s.keys[k].values, sizeof out.keys[k].values);
    out.key_count = static_cast<int>(s.keys.size());
    out.channels = s.channels;
}

void SplineHistory::push(SplineEdit edit) {
    undone_.clear();
    bytes_ += edit.before.size() + edit.after.size();
    done_.push_back(std::move(edit));
    while (bytes_ > limit_ && done_.size() > 1) {
        bytes_ -= done_.front().before.size() + done_.front().after.size();
        done_.pop_front();
    }
}

const SplineEdit* SplineHistory::undo() {
    if (done_.empty()) return nullptr;
    undone_.push_back(std::move(done_.back()));
    done_.pop_back();
    bytes_ -= undone_.back().before.size() + undone_.back().after.size();
    return &undone_.back();
}

const SplineEdit* SplineHistory::redo() {
    if (undone_.empty()) return nullptr;
    done_.push_back(std::move(undone_.back()));
    undone_.pop_back();
    bytes_ += done_.back().before.size() + done_.back().after.size();
    return &done_.back();
}
