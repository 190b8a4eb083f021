// Video export (--video FILE): the demo plays at a fixed step and every frame, as the viewer
// sees it (the presented band, without overlays), goes through a pipe to ffmpeg together with
// the demo's music cut to the same span. No frame files and no sound device.
#pragma once

#include <optional>
#include <string>

struct Config;
struct Demo;

struct VideoRequest {
    std::string path;  // the output file as given on the command line, already made absolute
    float rate = 0;    // frames per second; record_fps when 0
    // The span of the whole export to write: its frames whose times fall in [from, to).
    std::optional<float> from;
    std::optional<float> to;
    std::string profile = "web";  // web, compo or master
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
long video_frame_total(double start, double end, double rate);

// The frames [first, end) of a whole export of `total` frames from `start` whose times fall in
// [from, to). The times are the recording clock's own: single-precision steps of 1/rate summed
// from the start, so a span's edges land on the frames a whole run has there.
struct VideoSpan {
    long first = 0;
    long end = 0;
};
VideoSpan video_span(float start, long total, float rate, std::optional<float> from, std::optional<float> to);

// The 44-byte header of a 16-bit stereo PCM WAV file holding `frames` frames at `rate`.
std::string wav_header(long frames, int rate);
