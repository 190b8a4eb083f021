// --jobs and --video-plan: the spans of an export as command lines of the player itself, run at
// once as children or printed, and the join after them.
#include "program/video_jobs.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/error.h"
#include "base/io.h"

extern char** environ;

namespace {

std::string number(double value) {
    char text[32];
    // Nine significant digits give a single-precision time back exactly.
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

// What a child wrote last on standard error, for the message naming its span.
std::string last_line(int fd) {
    std::string text;
    char buffer[4096];
    if (lseek(fd, 0, SEEK_SET) < 0) return "";
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const size_t cut = text.rfind('\n');
    return cut == std::string::npos ? text : text.substr(cut + 1);
}

// The spans of the export running: a fatal error leaves through exit, and the spans' files go
// with it. Set only while video_jobs_run runs, when the vector it names is alive.
const std::vector<VideoPart>* parts_to_remove = nullptr;

void remove_parts() {
    if (parts_to_remove != nullptr) video_parts_remove(*parts_to_remove);
}

// The spans' progress on the parent's terminal, from the pipe each span reports on.
struct JobsProgress {
    std::vector<int> pipes;  // read ends, -1 once a span's end is read
    std::vector<std::string> pending;
    std::vector<VideoProgress> spans;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point drawn;

    // Reads what the spans wrote (never waiting) and draws the line four times a second, or now.
    void update(bool last) {
        for (size_t i = 0; i < pipes.size(); ++i) {
            char buffer[512];
            ssize_t n = -1;
            while (pipes[i] >= 0 && (n = fd_read_some(pipes[i], buffer, sizeof buffer)) > 0) {
                video_progress_take(pending[i], buffer, static_cast<size_t>(n), spans[i]);
            }
            if (pipes[i] >= 0 && (n == 0 || last)) {
                close(pipes[i]);
                pipes[i] = -1;
            }
        }
        const auto now = std::chrono::steady_clock::now();
        if (!last && now - drawn < std::chrono::milliseconds(250)) return;
        drawn = now;
        const double seconds = std::chrono::duration<double>(now - started).count();
        std::fprintf(stderr, "\r%s%s", video_progress_line(spans, seconds).c_str(), last ? "\n" : "");
        std::fflush(stderr);
    }

    // Waits a quarter of a second at most for a report.
    void wait() {
        std::vector<pollfd> open;
        for (int fd : pipes)
            if (fd >= 0) open.push_back({fd, POLLIN, 0});
        if (poll(open.data(), open.size(), 250) < 0 && errno != EINTR) usleep(250000);
    }
};

}  // namespace

std::string shell_word(const std::string& word) {
    if (!word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                "0123456789_-.,/:=+@%") == std::string::npos)
        return word;
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

namespace {

// The settings every line of a split export repeats, resolved, and the demo's folder.
void append_settings(std::vector<std::string>& args, const CliOptions& options, const std::string& demo_dir,
                     int width, int height, float rate) {
    args.insert(args.end(), {"--profile", options.profile, "--size",
                             std::to_string(width) + "x" + std::to_string(height), "--fps", number(rate)});
    if (options.start) args.insert(args.end(), {"--start", number(*options.start)});
    if (options.end) args.insert(args.end(), {"--end", number(*options.end)});
    args.insert(args.end(), {"--", demo_dir});
}

}  // namespace

std::vector<std::string> video_part_command(const CliOptions& options, const VideoPart& part,
                                            const std::string& player, const std::string& demo_dir, int width,
                                            int height, float rate) {
    std::vector<std::string> args = {player, "--video",       part.path,   "--from", number(part.from),
                                     "--to", number(part.to), "--no-audio"};
    append_settings(args, options, demo_dir, width, height, rate);
    return args;
}

std::vector<std::string> video_join_command(const CliOptions& options, size_t parts, const std::string& video,
                                            const std::string& player, const std::string& demo_dir, int width,
                                            int height, float rate) {
    std::vector<std::string> args = {player, "--video-join", std::to_string(parts), video};
    if (options.from) args.insert(args.end(), {"--from", number(*options.from)});
    if (options.to) args.insert(args.end(), {"--to", number(*options.to)});
    if (options.no_audio) args.push_back("--no-audio");
    append_settings(args, options, demo_dir, width, height, rate);
    return args;
}

void video_jobs_run(const Demo& demo, const CliOptions& options, const VideoRequest& request,
                    const std::vector<VideoPart>& parts, const std::string& player,
                    const std::string& demo_dir, int width, int height, float rate) {
    parts_to_remove = &parts;
    std::atexit(remove_parts);
    std::vector<pid_t> children(parts.size(), -1);
    // Every span's log before any span starts: a failure to make one then leaves nothing running.
    std::vector<int> logs(parts.size(), -1);
    for (int& log : logs) log = scratch_file(O_CLOEXEC);
    // On a terminal the spans report to the parent, which draws one line for all of them; each
    // span's count starts as the plan's, the warm-up included.
    const bool show = isatty(2) != 0;
    JobsProgress progress;
    std::vector<char*> env, reporting;
    std::string named = std::string(VIDEO_PROGRESS_FD) + "=3";
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, named.c_str(), named.size() - 1) != 0) env.push_back(*e);
    reporting = env;
    reporting.push_back(named.data());
    env.push_back(nullptr);
    reporting.push_back(nullptr);
    // A span that cannot start ends the export: the spans already started are stopped and
    // waited for first, so that none is left writing a file the exit then removes.
    auto stop_started = [&children] {
        for (pid_t& child : children) {
            if (child <= 0) continue;
            kill(child, SIGTERM);
            while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
            }
            child = -1;
        }
    };
    for (size_t i = 0; i < parts.size(); ++i) {
        std::vector<std::string> args =
            video_part_command(options, parts[i], player, demo_dir, width, height, rate);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, logs[i], 2);
        int report[2] = {-1, -1};
        if (show && pipe2(report, O_CLOEXEC | O_NONBLOCK) == 0) {
            posix_spawn_file_actions_adddup2(&actions, report[1], 3);
            progress.pipes.push_back(report[0]);
        } else {
            progress.pipes.push_back(-1);
        }
        progress.pending.emplace_back();
        progress.spans.push_back({0, parts[i].work});
        std::fflush(stdout);
        std::fflush(stderr);
        const int spawned = posix_spawn(&children[i], player.c_str(), &actions, nullptr, argv.data(),
                                        report[1] >= 0 ? reporting.data() : env.data());
        posix_spawn_file_actions_destroy(&actions);
        if (report[1] >= 0) close(report[1]);
        if (spawned != 0) {
            children[i] = -1;
            stop_started();
            fatal_error("Cannot start the player for span %zu of %zu: %s", i + 1, parts.size(),
                        std::strerror(spawned));
        }
    }
    // Every span is waited for before the first failure is reported, so that no child is left
    // writing a file that is then removed under it.
    std::vector<int> statuses(parts.size(), -1);
    for (size_t ended = 0; show && ended < parts.size();) {
        progress.wait();
        for (size_t i = 0; i < parts.size(); ++i) {
            if (children[i] <= 0) continue;
            const pid_t reaped = waitpid(children[i], &statuses[i], WNOHANG);
            if (reaped == children[i] || (reaped < 0 && errno == ECHILD)) {
                children[i] = -1;
                ++ended;
            }
        }
        progress.update(ended == parts.size());
    }
    std::string failure;
    for (size_t i = 0; i < parts.size(); ++i) {
        int& status = statuses[i];
        while (children[i] > 0 && waitpid(children[i], &status, 0) < 0 && errno == EINTR) {
        }
        const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (!ok && failure.empty()) {
            char what[160];
            std::snprintf(what, sizeof what, "span %zu of %zu (%s to %s seconds) failed", i + 1, parts.size(),
                          number(parts[i].from).c_str(), number(parts[i].to).c_str());
            const std::string said = last_line(logs[i]);
            failure = std::string(what) + (said.empty() ? "" : ": " + said);
        }
        close(logs[i]);
    }
    if (!failure.empty())
        fatal_error("Video export to '%s' failed: %s", request.path.c_str(), failure.c_str());
    video_join(demo, request, parts);
    // Joined: the caller removes the spans, and `parts` is gone before the process exits.
    parts_to_remove = nullptr;
}
