// The showcase as a whole (examples/showcase, its media made by examples/make-media):
// - its cold load phase in this process against the sum of its decoding floors (SDL_image
//   decoding each picture its sections name, reading each other file they name);
// - a reload in the maker's mode (tarvel --watch, driven on standard input) after a one-line
//   edit of a script, against the cold start of that mode up to the first answered "time";
// - a spline key set in the maker's mode, to the frame that shows it, against a reload of the
//   demo after the same change made in the file and against that frame drawn after a seek; and
//   the key set's answer against the reload's;
// - tarvel --video of the showcase at its window size: the wall time against the demo's length,
//   and against the same ffmpeg command fed the same frames from a pipe (decoded back from
//   the player's video by a second ffmpeg); the same export split over two processes
//   (--jobs 2) against one; and a span of it (--from 36 --to 40, which warms up from the
//   scene's start at 24 s) against the same frames exported from a start there (--start 36).
// - tarvel --lsp with a showcase script open: a change of its text to the diagnostics published
//   for it, against tarvel --check of the same folder;
// - the maker's mode playing with 8 console clients on its WebSocket, each taking every event,
//   against the same play with none: the frame rate, from the benchmark score it reports.
// Needs a display, ffmpeg, and the player next to this program. Prints table rows
// (bench/rounds.h); the video rounds (default 1, they take minutes) come from
// TARVEL_BENCH_VIDEO_ROUNDS.
//   showcase_bench SOURCE_DIR
#include <SDL/SDL.h>
#include <SDL/SDL_image.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/sound_system.h"
#include "base/io.h"
#include "runtime/registry.h"
#include "base/config.h"
#include "runtime/sequencer.h"
#include "runtime/startup.h"
#include "gfx/window.h"
#include "resources/texture.h"
#include "rounds.h"
#include "web_client.h"
#include "script/parser.h"
#include "script/section.h"

extern char** environ;

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

constexpr int ROUNDS = 5;

using Clock = std::chrono::steady_clock;

std::string slurp(const fs::path& path) {
    std::string bytes;
    path_read_all(path.c_str(), bytes);
    return bytes;
}

bool is_picture(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".tga" || ext == ".jpg" || ext == ".jpeg" || ext == ".bmp";
}

// Milliseconds to decode or read every file the kept sections name, the plainest way.
double decoding_floor(const std::vector<std::string>& files) {
    auto begin = Clock::now();
    for (const std::string& f : files) {
        if (is_picture(f)) {
            SDL_FreeSurface(IMG_Load(f.c_str()));
        } else {
            slurp(f);
        }
    }
    return rounds::seconds_since(begin) * 1000;
}

// The files the showcase's kept sections name, once each time a section names them.
std::vector<std::string> named_files(const Demo& demo) {
    std::vector<std::string> files;
    for (Section* s = demo.sections.head; s != nullptr; s = s->next) {
        if (!section_keep(demo, s)) continue;
        for (int i = 0; i < s->string_count; ++i) {
            if (fs::is_regular_file(s->strings[i])) files.push_back(s->strings[i]);
        }
        for (int i = 0; i < s->spline_count; ++i) {
            if (!s->spline_names[i].empty() && fs::is_regular_file(s->spline_names[i]))
                files.push_back(s->spline_names[i]);
        }
    }
    return files;
}

void bench_load_phase(const fs::path& showcase) {
    fs::current_path(showcase);
    std::vector<std::string> files;
    {
        SectionList sections;
        Config settings;
        script_read_all(sections, {section_types, settings});
        window_open(settings);
        if (settings.sound != 0) sound_init();
        Demo demo(section_types);
        Config read;
        script_read_all(demo.sections, {section_types, read});
        demo.settings = read;
        files = named_files(demo);
    }
    std::unique_ptr<Demo> demo;
    auto cold_load = [&] {
        demo.reset();
        demo = std::make_unique<Demo>(section_types);
        Config read;
        script_read_all(demo->sections, {section_types, read});
        demo->settings = read;
        clock_reset(*demo);
        auto begin = Clock::now();
        load_phase(*demo);
        return rounds::seconds_since(begin) * 1000;
    };
    rounds::compare("showcase load phase (" + std::to_string(files.size()) + " files)", rounds::ms, ROUNDS,
                    cold_load, [&] { return decoding_floor(files); });
    demo.reset();
    player_shutdown();
}

// A child process with pipes to its standard input and output.
struct Child {
    pid_t pid = -1;
    int in = -1;
    int out = -1;
    std::string pending;

    // Standard error goes to `err` when given.
    void start(const std::vector<std::string>& args, const std::string& err = "") {
        int to[2], from[2];
        if (pipe(to) != 0 || pipe(from) != 0) std::exit(1);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, to[0], 0);
        posix_spawn_file_actions_adddup2(&actions, from[1], 1);
        posix_spawn_file_actions_addclose(&actions, to[1]);
        posix_spawn_file_actions_addclose(&actions, from[0]);
        if (!err.empty())
            posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<char*> argv;
        std::vector<std::string> copy = args;
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(to[0]);
        close(from[1]);
        in = to[1];
        out = from[0];
    }

    // Sends one command and returns the line that answers it ("" when the child is gone).
    std::string ask(const std::string& command) {
        std::string line = command + "\n";
        if (write(in, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return "";
        for (;;) {
            size_t end = pending.find('\n');
            if (end != std::string::npos) {
                std::string answer = pending.substr(0, end);
                pending.erase(0, end + 1);
                return answer;
            }
            pollfd p = {out, POLLIN, 0};
            if (poll(&p, 1, 120000) <= 0) return "";
            char buffer[1024];
            ssize_t n = read(out, buffer, sizeof buffer);
            if (n <= 0) return "";
            pending.append(buffer, static_cast<size_t>(n));
        }
    }

    int finish() {
        if (in >= 0) close(in);
        if (out >= 0) close(out);
        in = out = -1;
        int status = 0;
        if (pid > 0) waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

void bench_reload(const fs::path& player, const fs::path& copy) {
    // One line of one script: a start time written two ways with the same value, so that every
    // round edits the file and the show stays the same.
    const fs::path script = copy / "6_finale.tvl";
    const std::string original = slurp(script);
    const size_t at = original.find("\nstart ");
    if (at == std::string::npos) return;
    const size_t line_end = original.find('\n', at + 1);
    std::vector<double> reloads, colds;
    for (int r = 0; r < ROUNDS; ++r) {
        Child child;
        auto begin = Clock::now();
        child.start({player.string(), "--watch", "--no-dialog", copy.string()});
        if (child.ask("time").rfind("ok ", 0) != 0) {
            std::fprintf(stderr, "showcase_bench: the maker's mode did not answer\n");
            child.finish();
            return;
        }
        colds.push_back(rounds::seconds_since(begin) * 1000);
        std::string edited = original;
        edited.insert(line_end, r % 2 == 0 ? ".0" : ".00");
        std::ofstream(script, std::ios::binary) << edited;
        begin = Clock::now();
        const std::string answer = child.ask("reload");
        reloads.push_back(rounds::seconds_since(begin) * 1000);
        if (answer != "ok") std::fprintf(stderr, "showcase_bench: reload answered '%s'\n", answer.c_str());
        child.ask("quit");
        child.finish();
    }
    std::ofstream(script, std::ios::binary) << original;
    rounds::row("maker's mode: reload after a one-line edit vs cold start", rounds::ms, reloads, colds);
}

void bench_spline_edit(const fs::path& player, const fs::path& copy) {
    // Paused in the swarm's scene: a key of its camera set from standard input, against a reload
    // of the demo with the same change in the file, and against the same frame drawn again after
    // a seek. Each is timed to a screenshot, which draws the frame asked for before it answers: a
    // `time` asked next would be answered before the frame when it comes in time for the read.
    Child child;
    child.start({player.string(), "--watch", "--no-dialog", copy.string()});
    if (child.ask("pause") != "ok" || child.ask("seek 30") != "ok") {
        std::fprintf(stderr, "showcase_bench: the maker's mode did not answer\n");
        child.finish();
        return;
    }
    // To the frame, and to the answer alone: the work of the edit or the reload without the frame.
    std::vector<double> edits, reloads, frames, edits_answered, reloads_answered, unused;
    auto to_frame = [&](const std::string& command, std::vector<double>& into,
                        std::vector<double>& answered) {
        const auto begin = Clock::now();
        const std::string answer = child.ask(command);
        answered.push_back(rounds::seconds_since(begin) * 1000);
        const std::string shot = child.ask("screenshot .bench-frame.tga");
        into.push_back(rounds::seconds_since(begin) * 1000);
        if (answer != "ok" || shot != "ok")
            std::fprintf(stderr, "showcase_bench: %s answered '%s', then '%s'\n", command.c_str(),
                         answer.c_str(), shot.c_str());
    };
    for (int r = 0; r < ROUNDS; ++r) {
        to_frame("key set data/splines/swarm_camera.spl 0 0 " + std::to_string(r % 2 ? 0.5 : -0.5), edits,
                 edits_answered);
        to_frame("seek 30", frames, unused);
        to_frame("reload", reloads, reloads_answered);
    }
    while (child.ask("undo") == "ok") {
    }
    child.ask("quit");
    child.finish();
    fs::remove(copy / ".bench-frame.tga");
    rounds::row("maker's mode: a spline key set to the frame that shows it vs a reload with the same change",
                rounds::ms, edits, reloads);
    rounds::row("maker's mode: a spline key set to the frame that shows it vs that frame drawn after a seek",
                rounds::ms, edits, frames);
    rounds::row("maker's mode: a spline key set answered vs a reload with the same change answered",
                rounds::ms, edits_answered, reloads_answered);
}

// The demo time in a `time` answer ("ok 12.345 playing"), or -1.
double answered_time(const std::string& answer) {
    return answer.rfind("ok ", 0) == 0 ? std::atof(answer.c_str() + 3) : -1;
}

// Frames a second of the maker's mode playing the showcase from its start with `clients`
// console clients that read every event, for four seconds: from the benchmark score the player
// reports as it ends (frames / demo seconds x 10000 / 60).
double console_frame_rate(const fs::path& player, const fs::path& copy, int clients) {
    const fs::path err = copy.parent_path() / "console-stderr";
    Child child;
    child.start({player.string(), "--watch", "--serve=0", "--no-dialog", copy.string()}, err.string());
    if (answered_time(child.ask("time")) < 0) return 0;
    // "Console: http://127.0.0.1:PORT/?token=TOKEN"
    int port = 0;
    std::string token, line;
    {
        std::ifstream in(err);
        while (std::getline(in, line)) {
            const size_t at = line.find("Console: http://127.0.0.1:");
            if (at == std::string::npos) continue;
            port = std::atoi(line.c_str() + at + 26);
            token = line.substr(line.find("token=") + 6);
        }
    }
    std::vector<std::unique_ptr<WebSocketClient>> sockets;
    const std::string origin = "http://127.0.0.1:" + std::to_string(port);
    for (int i = 0; i < clients; ++i) {
        sockets.push_back(std::make_unique<WebSocketClient>(
            port, "/ws?token=" + token, std::map<std::string, std::string>{{"Origin", origin}}));
        if (sockets.back()->status() != 101)
            std::fprintf(stderr, "showcase_bench: a console client was refused\n");
    }
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done)
            for (auto& s : sockets) s->wait_for("", 0.001);  // any frame
    });
    std::this_thread::sleep_for(std::chrono::seconds(4));
    child.ask("quit");
    child.finish();
    done = true;
    reader.join();
    std::ifstream in(err);
    double score = 0;
    while (std::getline(in, line))
        if (line.rfind("Benchmark: Score: ", 0) == 0) score = std::atof(line.c_str() + 18);
    return score * 60 / 10000;
}

void bench_console(const fs::path& player, const fs::path& copy) {
    const fs::path script = copy / "showcase.tvl";
    const std::string original = slurp(script);
    std::ofstream(script, std::ios::binary) << "bench 1\n" << original;
    std::vector<double> with, without;
    for (int r = 0; r < ROUNDS; ++r) {
        with.push_back(console_frame_rate(player, copy, 8));
        without.push_back(console_frame_rate(player, copy, 0));
    }
    std::ofstream(script, std::ios::binary) << original;
    rounds::row("maker's mode frame rate, 8 console clients vs none", rounds::frames_per_second, with,
                without);
}

std::string quoted(const fs::path& p);

int run(const std::string& command) {
    return std::system((command + " > /dev/null 2>&1").c_str());
}

void send_framed(Child& child, const json& message) {
    const std::string body = message.dump();
    const std::string framed = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    if (write(child.in, framed.data(), framed.size()) != static_cast<ssize_t>(framed.size()))
        std::fprintf(stderr, "showcase_bench: the language server stopped reading\n");
}

// The next framed message of the child (null when it is gone or silent for two minutes).
json read_framed(Child& child) {
    for (;;) {
        const size_t end = child.pending.find("\r\n\r\n");
        if (end != std::string::npos) {
            const size_t length = std::stoul(child.pending.substr(child.pending.find(':') + 1));
            if (child.pending.size() >= end + 4 + length) {
                json m = json::parse(child.pending.substr(end + 4, length), nullptr, false);
                child.pending.erase(0, end + 4 + length);
                return m;
            }
        }
        pollfd p = {child.out, POLLIN, 0};
        if (poll(&p, 1, 120000) <= 0) return nullptr;
        char buffer[65536];
        const ssize_t n = read(child.out, buffer, sizeof buffer);
        if (n <= 0) return nullptr;
        child.pending.append(buffer, static_cast<size_t>(n));
    }
}

// The diagnostics of `version` of the document; false when they never come.
bool diagnostics_of(Child& child, int version) {
    for (json m = read_framed(child); !m.is_null(); m = read_framed(child)) {
        if (m.value("method", "") == "textDocument/publishDiagnostics" &&
            m["params"].value("version", -1) == version)
            return true;
    }
    return false;
}

// tarvel --lsp with a showcase script open: from a one-line change of its unsaved text to the
// diagnostics of that text, against tarvel --check of the same folder (a whole process).
void bench_language_server(const fs::path& player, const fs::path& copy) {
    const fs::path script = copy / "6_finale.tvl";
    const std::string original = slurp(script);
    const size_t at = original.find("\nstart ");
    if (at == std::string::npos) return;
    const size_t line_end = original.find('\n', at + 1);
    const std::string uri = "file://" + script.string();
    Child child;
    child.start({player.string(), "--lsp"}, (copy.parent_path() / "lsp-stderr").string());
    send_framed(child, {{"jsonrpc", "2.0"},
                        {"id", 1},
                        {"method", "initialize"},
                        {"params", {{"rootUri", "file://" + copy.string()}}}});
    send_framed(child, {{"jsonrpc", "2.0"}, {"method", "initialized"}, {"params", json::object()}});
    send_framed(
        child,
        {{"jsonrpc", "2.0"},
         {"method", "textDocument/didOpen"},
         {"params",
          {{"textDocument", {{"uri", uri}, {"languageId", "tarvel"}, {"version", 1}, {"text", original}}}}}});
    if (!diagnostics_of(child, 1)) {
        std::fprintf(stderr, "showcase_bench: the language server published nothing\n");
        child.finish();
        return;
    }
    std::vector<double> changes, checks;
    for (int r = 0; r < ROUNDS; ++r) {
        std::string edited = original;
        edited.insert(line_end, r % 2 == 0 ? ".0" : ".00");
        auto begin = Clock::now();
        send_framed(child, {{"jsonrpc", "2.0"},
                            {"method", "textDocument/didChange"},
                            {"params",
                             {{"textDocument", {{"uri", uri}, {"version", r + 2}}},
                              {"contentChanges", json::array({{{"text", edited}}})}}}});
        if (!diagnostics_of(child, r + 2)) break;
        changes.push_back(rounds::seconds_since(begin) * 1000);
        begin = Clock::now();
        run(quoted(player) + " --check " + quoted(copy));
        checks.push_back(rounds::seconds_since(begin) * 1000);
    }
    send_framed(child, {{"jsonrpc", "2.0"}, {"id", 2}, {"method", "shutdown"}});
    send_framed(child, {{"jsonrpc", "2.0"}, {"method", "exit"}});
    child.finish();
    rounds::row("language server: diagnostics of a changed showcase script vs --check of the folder",
                rounds::ms, changes, checks);
}

std::string quoted(const fs::path& p) {
    return "'" + p.string() + "'";
}

void bench_video(const fs::path& player, const fs::path& copy, const fs::path& scratch) {
    const char* asked = std::getenv("TARVEL_BENCH_VIDEO_ROUNDS");
    const int video_rounds = asked != nullptr ? std::max(1, std::atoi(asked)) : 1;
    const fs::path out = scratch / "showcase.mp4", music = scratch / "music.wav",
                   again = scratch / "floor.mp4";
    std::vector<double> wall, length, floor, jobs, span, cold;
    // The wall time of an export with `options`, or -1 when it fails.
    auto timed = [&](const std::string& options) {
        const auto begin = Clock::now();
        if (run(quoted(player) + " --video " + quoted(scratch / "other.mp4") + " " + options + " " +
                quoted(copy)) != 0) {
            std::fprintf(stderr, "showcase_bench: tarvel --video %s failed\n", options.c_str());
            return -1.0;
        }
        return rounds::seconds_since(begin);
    };
    for (int r = 0; r < video_rounds; ++r) {
        auto begin = Clock::now();
        if (run(quoted(player) + " --video " + quoted(out) + " " + quoted(copy)) != 0) {
            std::fprintf(stderr, "showcase_bench: tarvel --video failed\n");
            return;
        }
        wall.push_back(rounds::seconds_since(begin));
        // The demo's length as the video holds it, and its band size.
        FILE* probe = popen(("ffprobe -v error -show_entries format=duration:stream=width,height -of "
                             "default=noprint_wrappers=1:nokey=1 " +
                             quoted(out))
                                .c_str(),
                            "r");
        int width = 0, height = 0;
        double seconds = 0;
        if (probe == nullptr || std::fscanf(probe, "%d %d %lf", &width, &height, &seconds) != 3) {
            if (probe != nullptr) pclose(probe);
            std::fprintf(stderr, "showcase_bench: cannot read the video's size\n");
            return;
        }
        pclose(probe);
        length.push_back(seconds);
        // The same encoder command the player runs, fed the same frames through a pipe.
        run("ffmpeg -y -i " + quoted(out) + " -vn " + quoted(music));
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        begin = Clock::now();
        run("ffmpeg -loglevel error -i " + quoted(out) +
            " -f rawvideo -pix_fmt rgb24 - | ffmpeg -hide_banner "
            "-loglevel error -y -f rawvideo -pix_fmt rgb24 -s " +
            size + " -framerate 25 -i pipe:0 -f wav -i " + quoted(music) +
            " -map 0:v -map 1:a -c:v libx264 -preset medium -crf 18 -pix_fmt yuv420p -c:a aac -b:a 192k "
            "-xerror " +
            quoted(again));
        floor.push_back(rounds::seconds_since(begin));
        jobs.push_back(timed("--jobs 2"));
        span.push_back(timed("--from 36 --to 40"));
        cold.push_back(timed("--start 36 --end 40"));
    }
    rounds::row("--video of the showcase, wall time vs the demo's length", rounds::seconds, wall, length);
    rounds::row("--video of the showcase vs its frames piped into the same ffmpeg", rounds::seconds, wall,
                floor);
    rounds::row("--video --jobs 2 of the showcase vs one job", rounds::seconds, jobs, wall);
    rounds::row("--video --from 36 --to 40 of the showcase (warm-up from 24) vs --start 36 --end 40",
                rounds::seconds, span, cold);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: showcase_bench SOURCE_DIR\n");
        return 2;
    }
    const fs::path source = fs::canonical(argv[1]);
    const fs::path player = fs::canonical("/proc/self/exe").parent_path() / "tarvel";
    if (!fs::exists(source / "examples/showcase/data/music.ogg")) {
        std::fprintf(stderr, "showcase_bench: make the showcase's media first (examples/make-media)\n");
        return 1;
    }
    // The maker's mode edits a script, so it works on a copy.
    const fs::path scratch =
        fs::temp_directory_path() / ("tarvel-showcase-bench-" + std::to_string(getpid()));
    const fs::path copy = scratch / "showcase";
    fs::create_directories(scratch);
    fs::copy(source / "examples/showcase", copy, fs::copy_options::recursive);

    bench_reload(player, copy);
    bench_spline_edit(player, copy);
    bench_console(player, copy);
    bench_language_server(player, copy);
    bench_video(player, copy, scratch);
    // Last: it brings the video and sound subsystems of this process up and down.
    bench_load_phase(copy);

    fs::current_path("/");
    fs::remove_all(scratch);
    return 0;
}
