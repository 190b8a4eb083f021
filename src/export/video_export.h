// Video export (--video FILE): the demo plays at a fixed step and every frame, as the viewer
// sees it (the presented band, without overlays), goes through a pipe to ffmpeg together with
// the demo's music cut to the same span. No frame files and no sound device.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct Config;
struct Demo;

struct VideoRequest {
    std::string path;  // the output file as given on the command line, already made absolute
    float rate = 0;    // frames per second; record_fps when 0
    // The span of the whole export to write: its frames whose times fall in [from, to).
    std::optional<float> from;
    std::optional<float> to;
    std::string profile = "web";  // web, compo or master
    bool music = true;            // false: the picture only (a span of a split export)
};

// Before the start-up, on the settings the demo will play with: fixed step at `rate` frames per
// second (record_fps when 0), no sound device, no loop; no dialogs, and the frame loop's hooks
// that hand each presented frame over.
void video_export_prepare(const VideoRequest& request, Config& settings);

// After the start-up (window and load phase done): works out the span and the music, and starts
// the encoder. Errors (no ffmpeg, nothing to export) are fatal.
void video_export_start(Demo& demo);

// After the main loop: closes the pipe and waits for the encoder; an incomplete or failed
// output is removed and reported as a fatal error.
void video_export_finish();

// The frames a span holds at a rate: every step of 1/rate from the start that falls before
// the end. 0 for an empty span.
long export_frame_total(double start, double end, double rate);

// The frames [first, end) of a whole export of `total` frames from `start` whose times fall in
// [from, to). The times are the recording clock's own: single-precision steps of 1/rate summed
// from the start, so a span's edges land on the frames a whole run has there.
struct VideoSpan {
    long first = 0;
    long end = 0;
};
VideoSpan video_span(float start, long total, float rate, std::optional<float> from, std::optional<float> to);

// Where drawing must begin, frames of `step` seconds apart, for the frame at `t` to be the whole
// run's: the earliest start of what is drawn at t, and of what is drawn in the frames since then
// (a feedback effect keeps the picture of the frames before). What ended before stays undrawn;
// the random numbers its drawing takes are drawn all the same by its skip callback.
float warm_start(const Demo& demo, float t, float step);

// The 44-byte header of a 16-bit stereo PCM WAV file holding `frames` frames at `rate`.
std::string wav_header(long frames, int rate);

// --- One export over many processes: spans rendered apart, joined by stream copy ---

// The frames [span.first, span.end) cut into at most `parts` spans of whole key frame intervals
// of `interval` frames (the last may be shorter), in order, none empty.
std::vector<VideoSpan> video_span_split(VideoSpan span, int parts, int interval);

// A time that selects exactly the frames from k on: halfway between the recording clock's
// frames k - 1 and k (the start itself for frame 0).
float video_cut_time(float start, float rate, long k);

// A span of a split export: its frames, the times that select them, and its file beside the
// output (Matroska, the picture only).
struct VideoPart {
    VideoSpan span;
    float from = 0;
    float to = 0;
    std::string path;
    long work = 0;  // frames it draws: its warm-up and its own
};

// After the scripts are read (no window): the export `request` asks for, cut into at most
// `jobs` parts.
std::vector<VideoPart> video_plan(const Demo& demo, const VideoRequest& request, int jobs);

// Joins the parts' files by stream copy into request.path with the music of the whole span,
// encoded once. The output is written under a temporary name and renamed when complete; a
// missing part or a failed join is a fatal error that leaves no output.
void video_join(const Demo& demo, const VideoRequest& request, const std::vector<VideoPart>& parts);

// An anonymous scratch file under TMPDIR (or /tmp), unlinked at once so that nothing is left
// behind whatever happens; `flags` as mkostemp(3) takes them. Fatal when none can be made.
int scratch_file(int flags = 0);

// Removes the parts' files (regular files only: a name taken by anything else stays).
void video_parts_remove(const std::vector<VideoPart>& parts);

// --- Progress ---

// The environment variable that names, in a span's process, the pipe it reports its progress
// on instead of drawing a line of its own: "DONE TOTAL" lines, frames drawn of frames to draw.
inline constexpr const char* VIDEO_PROGRESS_FD = "TARVEL_PROGRESS_FD";

// How far a span is: frames drawn of frames to draw, the warm-up's among both.
struct VideoProgress {
    long done = 0;
    long total = 0;
};

// The progress line of an export, its spans summed, `seconds` after it began: frames done of
// frames, the rate, the time left.
std::string video_progress_line(const std::vector<VideoProgress>& spans, double seconds);

// Takes what a span wrote on its pipe into `span`: its last whole report counts, `pending`
// keeps the start of a line (bounded), and anything but two counts is skipped.
void video_progress_take(std::string& pending, const char* data, size_t size, VideoProgress& span);
