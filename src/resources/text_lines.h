// Text files read line by line (scripts and splines), and the number lists their lines hold.
#pragma once

#include <zzip/zzip.h>

#include <cstddef>
#include <string>

// The lines of an open file, read through a buffer, or of a text.
class LineReader {
  public:
    explicit LineReader(ZZIP_FILE* file) : file_(file) {}
    explicit LineReader(const std::string& text) : at_(text.data()), end_(text.data() + text.size()) {}
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;
    // The next byte; false at the end.
    bool get(char& c);
    // Reads one line (up to and including its CR or LF, at most size - 1 bytes, embedded NULs
    // included) into `buffer`; returns how many bytes it stored, 0 at the end.
    int line(char* buffer, int size);
    // Whether the file ended early because it holds more than FILE_TEXT_MAX bytes.
    bool too_large() const { return too_large_; }

  private:
    ZZIP_FILE* file_ = nullptr;
    size_t read_ = 0;
    bool too_large_ = false;
    char buffer_[4096];
    const char* at_ = nullptr;
    const char* end_ = nullptr;
};

// "%f" semantics; out-of-range numbers become infinities or zero, as strtof defines.
bool text_scan_float(const char* text, float* out);

// One number of a vector's text: where its run of characters starts and ends, and its value.
struct TextNumber {
    size_t begin = 0;
    size_t end = 0;
    float value = 0;
};

// The numbers of a text as text_read_vector reads them, at most `capacity` stored; returns how
// many there are, capacity + 1 when more follow.
int text_scan_vector(const char* text, TextNumber* out, int capacity);

// Reads up to `capacity` floats from a text such as "{1, 2.5, -3}"; returns how many it stored.
// More numbers than the capacity is fatal.
int text_read_vector(const char* text, float* out, int capacity);
