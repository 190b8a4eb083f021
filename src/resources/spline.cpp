// Spline files (one key per line, read with the line and vector readers scripts use too)
// and their evaluation: a Hermite curve through every key, with Catmull-Rom tangents scaled to
// each segment inside and the chord of the end segments at the first and last keys.
#include "resources/spline.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "base/error.h"
#include "resources/files.h"
#include "resources/text_lines.h"

Spline* spline_load(const char* path) {
    ZzipFile file(file_open(path));
    if (file == nullptr) fatal_error("Spline: error loading '%s'", path);

    auto spline = std::make_unique<Spline>();
    char buffer[SPLINE_LINE_SIZE];
    bool first_line = true;
    LineReader lines(file.get());
    while (lines.line(buffer, sizeof buffer) > 0) {
        // Editors may begin a UTF-8 file with a byte-order mark; it is no part of the first line.
        const char* line = buffer;
        if (first_line && std::strncmp(line, "\xEF\xBB\xBF", 3) == 0) line += 3;
        first_line = false;
        char first = line[0];
        if (first == ';' || first == '\n' || first == '\r') continue;
        SplineKey key;
        int count = text_read_vector(line, key.values, SPLINE_MAX_CHANNELS);
        if (spline->channels == 0) {
            if (count == 0) fatal_error("Spline: incorrect format in '%s'", path);
            spline->channels = count;
        } else if (count != spline->channels) {
            fatal_error("Spline: incorrect channel in '%s'", path);
        }
        spline->keys.push_back(key);
    }
    if (lines.too_large()) fatal_error("Spline: '%s' is larger than %zu MB", path, FILE_TEXT_MAX >> 20);
    // A curve without keys has no value at any time; such a file is as malformed as one whose
    // first key holds no number.
    if (spline->keys.empty()) fatal_error("Spline: incorrect format in '%s'", path);
    spline->key_count = static_cast<int>(spline->keys.size());
    return spline.release();
}

void spline_set_duration(Spline* spline, float duration) {
    // An overflowing duration ("1e39" reads as infinity) would make 0 x step NaN.
    if (!std::isfinite(duration)) duration = 0;
    spline->duration = duration;
    int n = spline->key_count;
    if (n == 1) {
        spline->keys[0].time = 0;  // no step to take: duration / 0 would make the time NaN
        return;
    }
    if (n < 2) return;
    float step = duration / static_cast<float>(n - 1);
    for (int j = 0; j < n; ++j) spline->keys[j].time = static_cast<float>(j) * step;
}

int spline_eval(const Spline* spline, float* out, float t) {
    const int n = spline->key_count;
    const int channels = spline->channels;
    const SplineKey* keys = spline->keys.data();
    if (n <= 0) return 0;

    auto copy_key = [&](const SplineKey& key) {
        for (int i = 0; i < channels; ++i) out[i] = key.values[i];
        return channels;
    };
    if (n == 1) return copy_key(keys[0]);
    // Every key at one time (a duration of 0): the curve is a step there, since any segment
    // would divide by its zero length.
    if (keys[n - 1].time == keys[0].time) return copy_key(t < keys[0].time ? keys[0] : keys[n - 1]);

    int k = 0;
    if (t > keys[n - 1].time) {
        k = n - 2;
        t = keys[n - 1].time;
    } else {
        while (k < n - 2 && !(t <= keys[k + 1].time)) ++k;
    }

    const float s = keys[k + 1].time - keys[k].time;
    const float u = (t - keys[k].time) / s;
    const float u2 = u * u;
    const float u3 = u2 * u;
    const float d = 3.0f * u2 - 2.0f * u3;
    const float h1 = 1.0f - d;
    const float h2 = d;
    const float h3 = u + (u3 - u2) - u2;
    const float h4 = u3 - u2;

    for (int i = 0; i < channels; ++i) {
        const float a = keys[k].values[i];
        const float b = keys[k + 1].values[i];
        const float chord = b - a;
        const float t0 =
            k == 0 ? chord : (b - keys[k - 1].values[i]) * s / (keys[k + 1].time - keys[k - 1].time);
        const float t1 =
            k + 1 == n - 1 ? chord : (keys[k + 2].values[i] - a) * s / (keys[k + 2].time - keys[k].time);
        out[i] = h1 * a + h2 * b + h3 * t0 + h4 * t1;
    }
    return channels;
}
