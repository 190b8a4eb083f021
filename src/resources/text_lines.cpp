// Text files read line by line, and the number lists of their lines.
#include "resources/text_lines.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "base/error.h"
#include "resources/files.h"

bool LineReader::get(char& c) {
    if (at_ == end_) {
        if (file_ == nullptr || too_large_) return false;
        const zzip_ssize_t n = zzip_read(file_, buffer_, sizeof buffer_);
        if (n <= 0) return false;
        read_ += static_cast<size_t>(n);
        if (read_ > FILE_TEXT_MAX) {
            too_large_ = true;
            return false;
        }
        at_ = buffer_;
        end_ = buffer_ + n;
    }
    c = *at_++;
    return true;
}

int LineReader::line(char* buffer, int size) {
    int stored = 0;
    while (stored < size - 1) {
        char c;
        if (!get(c)) break;
        buffer[stored++] = c;
        if (c == '\n' || c == '\r') break;
    }
    if (size > 0) buffer[stored] = '\0';
    return stored;
}

bool text_scan_float(const char* text, float* out) {
    char* end = nullptr;
    float v = std::strtof(text, &end);
    if (end == text) return false;
    *out = v;
    return true;
}

int text_scan_vector(const char* text, TextNumber* out, int capacity) {
    int count = 0;
    const char* p = text;
    for (;;) {
        while (*p == '{' || *p == ' ' || *p == ',' || *p == '\t') ++p;
        const char* run = p;
        while ((*p >= '0' && *p <= '9') || *p == '.' || *p == '-') ++p;
        if (p == run) return count;
        if (count >= capacity) return capacity + 1;
        // A run such as "--" or "." holds no number and is stored as 0.
        std::string number(run, p);
        float v = 0;
        text_scan_float(number.c_str(), &v);
        out[count++] = {static_cast<size_t>(run - text), static_cast<size_t>(p - text), v};
    }
}

int text_read_vector(const char* text, float* out, int capacity) {
    std::vector<TextNumber> numbers(static_cast<size_t>(capacity > 0 ? capacity : 0));
    const int count = text_scan_vector(text, numbers.data(), capacity);
    if (count > capacity) fatal_error("Script: too many floats in vector '%s'", text);
    for (int i = 0; i < count; ++i) out[i] = numbers[static_cast<size_t>(i)].value;
    return count;
}
