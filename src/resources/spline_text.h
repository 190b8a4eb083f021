// A spline file's text kept as it was read, and edits of its keys written back into it: only
// the numbers that change are rewritten, so every other byte (comments, blank lines, separators,
// line ends) stays as the maker wrote it; and the history of such edits, for undo and redo.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "resources/spline.h"

// One key as the line reader cut its line: its bytes, the line end included (a CR LF counts
// whole), and where each of its numbers lies in the text.
struct SplineTextKey {
    size_t begin = 0;
    size_t end = 0;
    size_t number_begin[SPLINE_MAX_CHANNELS] = {};
    size_t number_end[SPLINE_MAX_CHANNELS] = {};
    float values[SPLINE_MAX_CHANNELS] = {};
};

struct SplineText {
    std::string bytes;
    int channels = 0;
    std::vector<SplineTextKey> keys;
};

// Reads `bytes` as spline_load reads a file; "" or why it is no spline.
std::string spline_text_parse(const std::string& bytes, SplineText& out);

// The shortest text that reads back as the same float, in the digits, point and minus a spline
// line can hold.
std::string spline_number_text(float value);

// The edits; each returns "" or why it was refused, and then leaves the text as it was. Keys and
// channels count from 0; bias adds `delta` to keys `from` to `to`, both included.
std::string spline_text_set(SplineText& s, int key, int channel, float value);
std::string spline_text_insert(SplineText& s, int at);
std::string spline_text_delete(SplineText& s, int key);
std::string spline_text_bias(SplineText& s, int channel, float delta, int from, int to);

// The keys of the text as a spline (times not yet spread).
void spline_from_text(const SplineText& s, Spline& out);

// One command's change of one file: its bytes before and after.
struct SplineEdit {
    std::string file;
    std::string before;
    std::string after;
};

// Every edit of a run, whichever client made it; a new edit forgets what was undone. The oldest
// edits go once the history holds more than `limit` bytes.
class SplineHistory {
  public:
    explicit SplineHistory(size_t limit = 64u << 20) : limit_(limit) {}
    void push(SplineEdit edit);
    // The edit to take back (its `before` is the file to write), or null when there is none.
    const SplineEdit* undo();
    // The edit to make again (its `after`), or null.
    const SplineEdit* redo();

  private:
    std::deque<SplineEdit> done_;
    std::vector<SplineEdit> undone_;
    size_t bytes_ = 0;
    size_t limit_;
};
