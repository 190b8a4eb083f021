// The ffmpeg pipe for --video: raw RGB frames on its standard input, the music as a WAV file
// of the exact span handed over by file descriptor, its messages kept for the error report.
#include "export/video_export.h"

#include <GL/gl.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/io.h"
#include "base/error.h"
#include "inspect/music_mix.h"
#include "runtime/registry.h"
#include "runtime/sequencer.h"
#include "gfx/window.h"
#include "resources/files.h"
#include "script/section.h"

extern char** environ;

namespace {

constexpr int MUSIC_RATE = 44100;

struct Export {
    std::string path;
    std::string written;  // the file ffmpeg writes: the output, or its temporary name when joining
    std::optional<float> from;
    std::optional<float> to;
    std::string profile;
    float rate = 25;  // frames a second
    bool music = true;
    VideoSpan span;       // the frames written, by their index in the whole run
    float warm_from = 0;  // frames before this time are stepped, not drawn
    pid_t encoder = -1;
    int frames_fd = -1;
    int log_fd = -1;
    int music_fd = -1;
    bool output_made = false;
    long total = 0;  // frames drawn: the warm-up and the span
    long done = 0;
    int width = 0;
    int height = 0;
    int band_y = 0;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> upright;
    Uint32 started_ms = 0;
    Uint32 last_progress_ms = 0;
    bool progress = false;
    int report_fd = -1;    // a span of --jobs: its progress goes to the parent on this pipe
    Demo* demo = nullptr;  // the demo being exported, ended when the last frame is taken
} exporter;

void write_all(int fd, const void* data, size_t size, const char* what) {
    if (const int error = fd_write_all(fd, data, size); error != 0)
        fatal_error("Cannot write %s: %s", what, std::strerror(error));
}

// The last lines ffmpeg wrote, for the error message.
std::string encoder_said() {
    if (exporter.log_fd < 0) return "";
    std::string text;
    char buffer[4096];
    if (lseek(exporter.log_fd, 0, SEEK_SET) < 0) return "";
    ssize_t n;
    while ((n = read(exporter.log_fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(n));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    size_t cut = text.rfind('\n');
    if (cut != std::string::npos) text = text.substr(cut + 1);
    return text.empty() ? "" : ": " + text;
}

void remove_output() {
    struct stat st;
    if (exporter.output_made && stat(exporter.written.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        unlink(exporter.written.c_str());
}

// Stops the encoder and removes what it wrote; the error is then reported by the caller.
void abandon() {
    if (exporter.frames_fd >= 0) close(exporter.frames_fd);
    exporter.frames_fd = -1;
    if (exporter.encoder > 0) {
        kill(exporter.encoder, SIGTERM);
        int status = 0;
        while (waitpid(exporter.encoder, &status, 0) < 0 && errno == EINTR) {
        }
        exporter.encoder = -1;
    }
    remove_output();
}

[[noreturn]] void export_failed(const char* what) {
    std::string said = encoder_said();
    abandon();
    fatal_error("Video export to '%s' failed: %s%s", exporter.path.c_str(), what, said.c_str());
}

double span_end(const Demo& demo) {
    if (demo.settings.demo_end > 0.0f) return demo.settings.demo_end;
    double end = demo.settings.demo_start;
    for (Section* s = demo.sections.head; s != nullptr; s = s->next) {
        if (s->type != SECTION_TYPE_LOADING && section_keep(demo, s))
            end = std::max(end, static_cast<double>(s->end));
    }
    return end;
}

void put16(std::string& out, unsigned v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// The music of every sound section, mixed where the demo plays it within the span, as a WAV
// scratch file; -1 when the demo has no music there. Mixed a second at a time, so that a long
// demo needs no more memory than its music files.
int music_file(const Demo& demo, double start, long frames) {
    MusicMixPtr music = music_mix_open(demo, start, frames, MUSIC_RATE, " for the video");
    if (music == nullptr) return -1;
    int fd = scratch_file();
    std::string header = wav_header(frames, MUSIC_RATE);
    write_all(fd, header.data(), header.size(), "the music for the video");
    std::vector<float> mix;
    std::vector<int16_t> pcm;
    for (long at = 0; at < frames; at += MUSIC_RATE) {
        long count = std::min<long>(MUSIC_RATE, frames - at);
        mix.resize(static_cast<size_t>(count) * 2);
        music_mix_read(*music, mix.data(), count);
        pcm.resize(mix.size());
        for (size_t i = 0; i < mix.size(); ++i)
            pcm[i] = static_cast<int16_t>(std::clamp(std::lround(mix[i] * 32767.0f), -32768L, 32767L));
        write_all(fd, pcm.data(), pcm.size() * sizeof(int16_t), "the music for the video");
    }
    return fd;
}

bool has_extension(const std::string& path, const char* const* list) {
    size_t dot = path.rfind('.');
    size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    for (; *list != nullptr; ++list) {
        if (ext == *list) return true;
    }
    return false;
}

// What the output file is: H.264 or FFV1 in Matroska, H.264 in MP4 (also for a name without a
// known extension), or a container of ffmpeg's own choice of codecs (WebM, AVI...).
enum class VideoContainer { matroska, mp4, other };

VideoContainer video_container(const std::string& profile, const std::string& path) {
    static const char* const matroska[] = {"mkv", nullptr};
    static const char* const other_containers[] = {"webm", "avi", "ogv", "gif", "nut", nullptr};
    if (profile == "master" || has_extension(path, matroska)) return VideoContainer::matroska;
    if (!has_extension(path, other_containers)) return VideoContainer::mp4;
    return VideoContainer::other;
}

// The key frame interval: half a second, as video platforms ask, so that a player can start or
// seek anywhere within half a second and a span cut on it joins with the same key frames.
int key_frame_interval(float rate) {
    return std::max(1, static_cast<int>(std::lround(rate / 2.0f)));
}

// The compo profile's video bit rate in kbit/s: 14 Mbit/s for 1920x1080 at 60 frames a second,
// in proportion to the pixels per second beyond it (56 Mbit/s at 3840x2160), never below the
// 12 Mbit/s a party's rules ask of a 1080p60 entry.
long compo_bit_rate(int width, int height, float rate) {
    const double share = static_cast<double>(width) * height * rate / (1920.0 * 1080.0 * 60.0);
    return std::max(12000L, std::lround(14000.0 * share));
}

void output_arguments(std::vector<std::string>& args, bool music, bool copy);

std::vector<std::string> encoder_arguments(int music_fd) {
    char size[32];
    std::snprintf(size, sizeof size, "%dx%d", exporter.width, exporter.height);
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g", static_cast<double>(exporter.demo->settings.record_fps));
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y",
                                     "-f",     "rawvideo",     "-pix_fmt",  "rgb24", "-s",
                                     size,     "-framerate",   rate,        "-i",    "pipe:0"};
    if (music_fd >= 0) {
        args.insert(args.end(),
                    {"-f", "wav", "-i", "/dev/fd/" + std::to_string(music_fd), "-map", "0:v", "-map", "1:a"});
    }
    output_arguments(args, music_fd >= 0, false);
    return args;
}

// The codecs and the container for the profile and the output's name; `copy` takes the picture
// as it comes (spans encoded already) and encodes the music only.
void output_arguments(std::vector<std::string>& args, bool music, bool copy) {
    // H.264 in 4:2:0 needs even sides: an odd one loses its last row or column.
    std::string filter;
    if (exporter.width % 2 != 0 || exporter.height % 2 != 0) filter = "crop=trunc(iw/2)*2:trunc(ih/2)*2:0:0";
    const VideoContainer container = video_container(exporter.profile, exporter.path);
    if (copy) {
        args.insert(args.end(), {"-c:v", "copy"});
    } else if (exporter.profile == "master") {
        // Lossless for archives: planar RGB holds the frames as read, bit for bit.
        if (!filter.empty()) args.insert(args.end(), {"-vf", filter});
        args.insert(args.end(), {"-c:v", "ffv1", "-level", "3", "-pix_fmt", "gbrp", "-g",
                                 std::to_string(key_frame_interval(exporter.rate))});
    } else if (container != VideoContainer::other) {
        // The frames are RGB: converted with the BT.709 matrix into limited-range 4:2:0 and
        // tagged so, or a player would guess BT.601 for small sizes and shift the colours.
        filter += std::string(filter.empty() ? "" : ",") + "scale=out_color_matrix=bt709:out_range=tv";
        const std::string gop = std::to_string(key_frame_interval(exporter.rate));
        args.insert(args.end(),
                    {"-vf", filter, "-c:v", "libx264", "-preset", "veryfast", "-profile:v", "high"});
        args.insert(args.end(), {"-pix_fmt", "yuv420p", "-colorspace", "bt709", "-color_primaries", "bt709"});
        args.insert(args.end(), {"-color_trc", "bt709", "-color_range", "tv"});
        // Closed GOPs of a fixed length, no key frame where the picture cuts: a span of a split
        // export starts on a key frame the whole export has too.
        args.insert(args.end(), {"-g", gop, "-keyint_min", gop, "-sc_threshold", "0", "-flags", "+cgop"});
        if (exporter.profile == "compo") {
            const long kbits = compo_bit_rate(exporter.width, exporter.height, exporter.rate);
            args.insert(args.end(),
                        {"-b:v", std::to_string(kbits) + "k", "-maxrate", std::to_string(kbits * 3 / 2) + "k",
                         "-bufsize", std::to_string(kbits * 2) + "k"});
        } else {
            args.insert(args.end(), {"-crf", "18"});
        }
    } else if (!filter.empty()) {
        args.insert(args.end(), {"-vf", filter});
    }
    if (music && exporter.profile == "master") {
        args.insert(args.end(), {"-c:a", "flac"});
    } else if (music && container != VideoContainer::other) {
        args.insert(args.end(), {"-c:a", "aac", "-profile:a", "aac_low", "-b:a",
                                 exporter.profile == "compo" ? "320k" : "192k", "-ar", "48000", "-ac", "2"});
    }
    static const char* const named_mp4[] = {"mp4", "m4v", "mov", nullptr};
    if (container == VideoContainer::matroska) args.insert(args.end(), {"-f", "matroska"});
    if (container == VideoContainer::mp4 && !has_extension(exporter.path, named_mp4))
        args.insert(args.end(), {"-f", "mp4"});
    // The index before the data: a browser plays the file while it downloads.
    if (container == VideoContainer::mp4) args.insert(args.end(), {"-movflags", "+faststart"});
    // Stop at the first error: a write that fails (a full disk) must not end with status 0.
    args.insert(args.end(), {"-xerror", exporter.written});
}

void show_progress(bool last) {
    if (!exporter.progress && exporter.report_fd < 0) return;
    Uint32 now = SDL_GetTicks();
    if (!last && now - exporter.last_progress_ms < 250) return;
    exporter.last_progress_ms = now;
    if (exporter.report_fd >= 0) {
        // Never waits: a report the full pipe cannot take is lost, and the next one says more.
        char report[48];
        const int n = std::snprintf(report, sizeof report, "%ld %ld\n", exporter.done, exporter.total);
        if (write(exporter.report_fd, report, static_cast<size_t>(n)) < 0) {
        }
        return;
    }
    const std::string line =
        video_progress_line({{exporter.done, exporter.total}}, (now - exporter.started_ms) / 1000.0);
    std::fprintf(stderr, "\r%s%s", line.c_str(), last ? "\n" : "");
    std::fflush(stderr);
}

void no_capture(const Demo&) {}

// The recording clock's time at frame k of a run from `start`: summed as the clock sums it.
float frame_time(float start, float rate, long k) {
    const float step = 1.0f / rate;
    float t = start;
    for (long i = 0; i < k; ++i) t += step;
    return t;
}

long first_frame_at(float start, float rate, float t) {
    const float step = 1.0f / rate;
    long k = 0;
    for (float at = start; at < t; at += step) ++k;
    return k;
}

}  // namespace

float warm_start(const Demo& demo, float t, float step) {
    float from = t;
    for (bool moved = true; moved;) {
        moved = false;
        for (Section* s = demo.sections.head; s != nullptr; s = s->next) {
            if (!section_keep(demo, s) || s->type == SECTION_TYPE_LOADING) continue;
            if (s->start < from && s->end >= from - step) {
                from = s->start;
                moved = true;
            }
        }
    }
    return from;
}

namespace {

// The frames drawn for `span`: those from the warm-up's start `warm_from` on.
long span_work(const Demo& demo, float rate, VideoSpan span, float warm_from) {
    return span.end - first_frame_at(demo.settings.demo_start, rate, warm_from);
}

// The window shows how the export goes four times a second: showing every frame would copy each
// one to the display for nobody, at a cost near the encoder's.
void swap_now_and_then() {
    static Uint32 last_ms = 0;
    Uint32 now = SDL_GetTicks();
    if (now - last_ms < 250) return;
    last_ms = now;
    frame_swap();
}

bool draws(const Demo& demo) {
    return demo.time >= exporter.warm_from;
}

// The frame as presented, read from the back buffer before the overlays and the swap. The
// warm-up's frames are presented like the span's (what a whole run does), not encoded.
void present_and_encode() {
    frame_present();
    if (exporter.frames_fd < 0 || exporter.done >= exporter.total) return;
    exporter.done += 1;
    show_progress(false);
    const long frame = exporter.demo != nullptr ? exporter.demo->frame_count : 0;
    if (frame < exporter.span.first) return;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, exporter.band_y, exporter.width, exporter.height, GL_RGB, GL_UNSIGNED_BYTE,
                 exporter.pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    size_t row = static_cast<size_t>(exporter.width) * 3;
    for (int y = 0; y < exporter.height; ++y) {
        std::memcpy(exporter.upright.data() + static_cast<size_t>(y) * row,
                    exporter.pixels.data() + static_cast<size_t>(exporter.height - 1 - y) * row, row);
    }
    if (fd_write_all(exporter.frames_fd, exporter.upright.data(), exporter.upright.size()) != 0)
        export_failed("the encoder stopped taking frames");
    if (frame + 1 >= exporter.span.end && exporter.demo != nullptr) exporter.demo->quit = true;
}

// Starts ffmpeg (found on PATH, which the caller checked) with `input` as its standard input
// and its messages into the log; an errno value when it cannot start.
int encoder_spawn(std::vector<std::string>& args, int input) {
    std::string program;
    if (!executable_on_path("ffmpeg", program))
        fatal_error("Video export needs ffmpeg, which is not on PATH (scripts/install-deps installs it)");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input >= 0) posix_spawn_file_actions_adddup2(&actions, input, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, exporter.log_fd, 2);
    std::fflush(stdout);
    std::fflush(stderr);
    int spawned = posix_spawn(&exporter.encoder, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) exporter.encoder = -1;
    return spawned;
}

// The encoder's end: waited for, and its output checked; a failure is fatal.
void encoder_wait() {
    int status = 0;
    while (waitpid(exporter.encoder, &status, 0) < 0) {
        if (errno != EINTR) break;
    }
    exporter.encoder = -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) export_failed("the encoder failed");
    // ffmpeg reports errors only in what it writes at this log level.
    if (!encoder_said().empty()) export_failed("the encoder reported an error");
    struct stat st;
    if (stat(exporter.written.c_str(), &st) != 0 || st.st_size == 0)
        export_failed("the output file is empty");
}

}  // namespace

int scratch_file(int flags) {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/tarvel-XXXXXX";
    int fd = mkostemp(pattern.data(), flags);
    if (fd < 0)
        fatal_error("Cannot create a scratch file in '%s': %s", pattern.c_str(), std::strerror(errno));
    unlink(pattern.c_str());
    return fd;
}

long export_frame_total(double start, double end, double rate) {
    if (!(end > start) || !(rate > 0)) return 0;
    // Steps that land within a thousandth of a frame of the end count as the end itself.
    return static_cast<long>(std::ceil((end - start) * rate - 1e-3));
}

std::string wav_header(long frames, int rate) {
    uint32_t data_bytes = static_cast<uint32_t>(frames) * 4;
    std::string h = "RIFF";
    put32(h, 36 + data_bytes);
    h += "WAVEfmt ";
    put32(h, 16);
    put16(h, 1);  // PCM
    put16(h, 2);
    put32(h, static_cast<uint32_t>(rate));
    put32(h, static_cast<uint32_t>(rate) * 4);
    put16(h, 4);
    put16(h, 16);
    h += "data";
    put32(h, data_bytes);
    return h;
}

VideoSpan video_span(float start, long total, float rate, std::optional<float> from,
                     std::optional<float> to) {
    VideoSpan span{total, total};
    const float step = 1.0f / rate;
    float t = start;
    for (long k = 0; k < total; ++k, t += step) {
        if (span.first == total && (!from || t >= *from)) span.first = k;
        if (to && t >= *to) {
            span.end = k;
            break;
        }
    }
    span.first = std::min(span.first, span.end);
    return span;
}

void video_export_prepare(const VideoRequest& request, Config& settings) {
    exporter.path = request.path;
    exporter.written = request.path;
    exporter.music = request.music;
    exporter.from = request.from;
    exporter.to = request.to;
    exporter.profile = request.profile;
    if (request.rate > 0) settings.record_fps = request.rate;
    settings.record = 1;
    settings.sound = 0;
    settings.loop = 0;
    dialogs_disable();
    frame_output.capture = no_capture;
    frame_output.present = present_and_encode;
    frame_output.swap = swap_now_and_then;
    frame_output.draws = draws;
    // A span run by --jobs: the pipe its parent left it, kept from the encoder and from the
    // environment of anything it starts.
    if (const char* named = std::getenv(VIDEO_PROGRESS_FD); named != nullptr) {
        char* end = nullptr;
        const long fd = std::strtol(named, &end, 10);
        struct stat st;
        if (*named != '\0' && *end == '\0' && fd > 2 && fd < 1024 && fstat(static_cast<int>(fd), &st) == 0 &&
            S_ISFIFO(st.st_mode)) {
            exporter.report_fd = static_cast<int>(fd);
            fcntl(exporter.report_fd, F_SETFD, FD_CLOEXEC);
            fcntl(exporter.report_fd, F_SETFL, fcntl(exporter.report_fd, F_GETFL) | O_NONBLOCK);
        }
        unsetenv(VIDEO_PROGRESS_FD);
    }
}

void video_export_start(Demo& demo) {
    exporter.demo = &demo;
    exporter.rate = demo.settings.record_fps;
    // A closed pipe must come back as an error from write, not end the process.
    signal(SIGPIPE, SIG_IGN);
    const WindowSettings& window = window_settings();
    PresentBand band = present_band(window.gl_width, window.gl_height, window.gl_panoramic != 0);
    exporter.width = band.width;
    exporter.height = std::min(band.height, window.gl_height);
    exporter.band_y = std::max(band.y, 0);
    double start = demo.settings.demo_start;
    double end = span_end(demo);
    const long whole = export_frame_total(start, end, demo.settings.record_fps);
    if (whole <= 0)
        fatal_error("Nothing to export: the demo holds no time between %g and %g seconds", start, end);
    exporter.span =
        video_span(demo.settings.demo_start, whole, demo.settings.record_fps, exporter.from, exporter.to);
    if (exporter.span.end <= exporter.span.first)
        fatal_error("Nothing to export: the demo holds no frame from %g to %g seconds",
                    static_cast<double>(exporter.from.value_or(demo.settings.demo_start)),
                    static_cast<double>(exporter.to.value_or(static_cast<float>(end))));
    const float first_time =
        frame_time(demo.settings.demo_start, demo.settings.record_fps, exporter.span.first);
    exporter.warm_from = warm_start(demo, first_time, 1.0f / demo.settings.record_fps);
    exporter.total = span_work(demo, demo.settings.record_fps, exporter.span, exporter.warm_from);
    start = first_time;
    exporter.pixels.resize(static_cast<size_t>(exporter.width) * exporter.height * 3);
    exporter.upright.resize(exporter.pixels.size());

    std::string program;
    if (!executable_on_path("ffmpeg", program))
        fatal_error("Video export needs ffmpeg, which is not on PATH (scripts/install-deps installs it)");
    long music_frames = std::lround(static_cast<double>(exporter.span.end - exporter.span.first) /
                                    demo.settings.record_fps * MUSIC_RATE);
    exporter.music_fd = exporter.music ? music_file(demo, start, music_frames) : -1;
    exporter.log_fd = scratch_file();

    int pipe_fds[2];
    // Both ends close on exec: the encoder gets the read end as its standard input alone.
    if (pipe2(pipe_fds, O_CLOEXEC) != 0)
        fatal_error("Cannot start the video encoder: %s", std::strerror(errno));
    std::vector<std::string> args = encoder_arguments(exporter.music_fd);
    const int spawned = encoder_spawn(args, pipe_fds[0]);
    close(pipe_fds[0]);
    if (spawned != 0) {
        close(pipe_fds[1]);
        fatal_error("Cannot start the video encoder '%s': %s", args[0].c_str(), std::strerror(spawned));
    }
    exporter.frames_fd = pipe_fds[1];
    exporter.output_made = true;
    // Any fatal error from here on leaves through exit: the encoder is stopped and its
    // incomplete output removed then.
    std::atexit(abandon);
    exporter.progress = isatty(2) != 0 && exporter.report_fd < 0;
    exporter.started_ms = SDL_GetTicks();
}

void video_export_finish() {
    if (exporter.encoder <= 0) return;
    show_progress(true);
    if (exporter.done < exporter.total) {
        char what[96];
        std::snprintf(what, sizeof what, "stopped after %ld of %ld frames", exporter.done, exporter.total);
        export_failed(what);
    }
    close(exporter.frames_fd);
    exporter.frames_fd = -1;
    if (exporter.report_fd >= 0) close(exporter.report_fd);
    exporter.report_fd = -1;
    encoder_wait();
    exporter.output_made = false;  // complete: it stays
}

std::vector<VideoSpan> video_span_split(VideoSpan span, int parts, int interval) {
    std::vector<VideoSpan> out;
    if (span.end <= span.first || parts < 1 || interval < 1) return out;
    const long intervals = (span.end - span.first + interval - 1) / interval;
    const long count = std::min<long>(parts, intervals);
    for (long p = 0; p < count; ++p) {
        const long first = span.first + intervals * p / count * interval;
        const long end = std::min(span.end, span.first + intervals * (p + 1) / count * interval);
        out.push_back({first, end});
    }
    return out;
}

float video_cut_time(float start, float rate, long k) {
    if (k <= 0) return start;
    return (frame_time(start, rate, k - 1) + frame_time(start, rate, k)) / 2.0f;
}

std::vector<VideoPart> video_plan(const Demo& demo, const VideoRequest& request, int jobs) {
    const float rate = request.rate > 0 ? request.rate : demo.settings.record_fps;
    if (video_container(request.profile, request.path) == VideoContainer::other)
        fatal_error("A split export writes H.264 in MP4 or Matroska, or a master: '%s' is neither",
                    request.path.c_str());
    const long whole = export_frame_total(demo.settings.demo_start, span_end(demo), rate);
    const VideoSpan span = video_span(demo.settings.demo_start, whole, rate, request.from, request.to);
    if (span.end <= span.first)
        fatal_error("Nothing to export: the demo holds no frame from %g to %g seconds",
                    static_cast<double>(request.from.value_or(demo.settings.demo_start)),
                    static_cast<double>(request.to.value_or(static_cast<float>(span_end(demo)))));
    const std::vector<VideoSpan> spans = video_span_split(span, jobs, key_frame_interval(rate));
    const size_t slash = request.path.rfind('/');
    const std::string dir = request.path.substr(0, slash + 1);
    const std::string name = request.path.substr(slash + 1);
    std::vector<VideoPart> parts;
    for (size_t i = 0; i < spans.size(); ++i) {
        VideoPart part;
        part.span = spans[i];
        part.from = video_cut_time(demo.settings.demo_start, rate, spans[i].first);
        part.to = video_cut_time(demo.settings.demo_start, rate, spans[i].end);
        part.path = dir + "." + name + ".span-" + std::to_string(i + 1) + "-of-" +
                    std::to_string(spans.size()) + ".mkv";
        const float first = frame_time(demo.settings.demo_start, rate, spans[i].first);
        part.work = span_work(demo, rate, spans[i], warm_start(demo, first, 1.0f / rate));
        parts.push_back(part);
    }
    return parts;
}

void video_parts_remove(const std::vector<VideoPart>& parts) {
    for (const VideoPart& part : parts) {
        struct stat st;
        if (lstat(part.path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) unlink(part.path.c_str());
    }
}

void video_join(const Demo& demo, const VideoRequest& request, const std::vector<VideoPart>& parts) {
    const float rate = request.rate > 0 ? request.rate : demo.settings.record_fps;
    exporter.path = request.path;
    exporter.profile = request.profile;
    exporter.rate = rate;
    const size_t slash = request.path.rfind('/');
    exporter.written = request.path.substr(0, slash + 1) + ".joining-" + request.path.substr(slash + 1);
    for (size_t i = 0; i < parts.size(); ++i) {
        struct stat st;
        if (stat(parts[i].path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0)
            fatal_error("Video export to '%s' failed: span %zu of %zu ('%s') is missing",
                        request.path.c_str(), i + 1, parts.size(), parts[i].path.c_str());
    }
    // The concat demuxer's list: absolute names, quoted as it reads them.
    int list_fd = scratch_file();
    std::string list = "ffconcat version 1.0\n";
    for (const VideoPart& part : parts) {
        std::string quoted;
        for (char c : part.path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        list += "file '" + quoted + "'\n";
    }
    write_all(list_fd, list.data(), list.size(), "the list of spans");
    // The music of the whole span, encoded once: separate encodes would each begin with the
    // encoder's priming and end padded, a gap at every join.
    const long first = parts.front().span.first;
    const long frames = parts.back().span.end - first;
    const float start = frame_time(demo.settings.demo_start, rate, first);
    const long music_frames = std::lround(static_cast<double>(frames) / rate * MUSIC_RATE);
    exporter.music_fd = request.music ? music_file(demo, start, music_frames) : -1;
    exporter.log_fd = scratch_file();
    std::vector<std::string> args = {"ffmpeg",
                                     "-hide_banner",
                                     "-loglevel",
                                     "error",
                                     "-y",
                                     "-f",
                                     "concat",
                                     "-safe",
                                     "0",
                                     "-i",
                                     "/dev/fd/" + std::to_string(list_fd)};
    if (exporter.music_fd >= 0)
        args.insert(args.end(), {"-f", "wav", "-i", "/dev/fd/" + std::to_string(exporter.music_fd), "-map",
                                 "0:v", "-map", "1:a"});
    output_arguments(args, exporter.music_fd >= 0, true);
    const int spawned = encoder_spawn(args, -1);
    if (spawned != 0)
        fatal_error("Cannot start the video encoder '%s': %s", args[0].c_str(), std::strerror(spawned));
    exporter.output_made = true;
    std::atexit(abandon);
    encoder_wait();
    if (rename(exporter.written.c_str(), request.path.c_str()) != 0) export_failed(std::strerror(errno));
    exporter.output_made = false;
    close(list_fd);
    if (exporter.music_fd >= 0) close(exporter.music_fd);
}

std::string video_progress_line(const std::vector<VideoProgress>& spans, double seconds) {
    long done = 0, total = 0;
    for (const VideoProgress& span : spans) {
        done += std::min(span.done, span.total);
        total += span.total;
    }
    const double rate = seconds > 0 ? done / seconds : 0;
    const long left = rate > 0 ? std::lround((total - done) / rate) : 0;
    char line[160];
    std::snprintf(line, sizeof line, "Video: frame %ld of %ld%s, %.1f frames/s, %ld:%02ld left  ", done,
                  total, spans.size() > 1 ? (" in " + std::to_string(spans.size()) + " spans").c_str() : "",
                  rate, left / 60, left % 60);
    return line;
}

void video_progress_take(std::string& pending, const char* data, size_t size, VideoProgress& span) {
    // A report is two counts of at most 19 digits: a longer line is no report.
    constexpr size_t longest = 48;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] != '\n') {
            if (pending.size() <= longest) pending += data[i];
            continue;
        }
        // A count: digits, and nothing that overflows.
        auto count = [](const char*& at) {
            char* end = nullptr;
            errno = 0;
            const long value = *at >= '0' && *at <= '9' ? std::strtol(at, &end, 10) : -1;
            if (end == nullptr || errno != 0) return -1L;
            at = end;
            return value;
        };
        const char* at = pending.c_str();
        const long done = count(at);
        const long total = *at == ' ' ? count(++at) : -1;
        if (pending.size() <= longest && done >= 0 && total >= 0 && *at == '\0') span = {done, total};
        pending.clear();
    }
}
