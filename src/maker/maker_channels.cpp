// The maker's command channels: reading standard input without blocking the show, and the
// console's commands, events and published time line.
#include "maker/maker_channels.h"

#include <SDL/SDL.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/io.h"
#include "gfx/window.h"

namespace {

// Time events to the console while the show plays: 20 a second.
constexpr Uint32 TIME_EVENT_MS = 50;
// The longest line read on standard input.
constexpr size_t INPUT_LINE_MAX = 65536;

}  // namespace

void InputLines::read(const CommandAnswerer& answer, const bool& quit) {
    if (!open_) return;
    for (;;) {
        pollfd p = {STDIN_FILENO, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0 || (p.revents & (POLLIN | POLLHUP)) == 0) return;
        char buffer[4096];
        const ssize_t n = fd_read_some(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            open_ = false;
            return;
        }
        input_.append(buffer, static_cast<size_t>(n));
        size_t feed;
        while (!quit && (feed = input_.find('\n')) != std::string::npos) {
            std::string line = input_.substr(0, feed);
            input_.erase(0, feed + 1);
            if (dropping_line_) {
                dropping_line_ = false;  // the end of a line already answered
                continue;
            }
            std::printf("%s\n", answer(line).c_str());
            std::fflush(stdout);
        }
        if (quit) return;
        // A line longer than any command is answered once and dropped up to its end: kept, it
        // would grow without bound; cut, its tail would be read as a command of its own.
        if (input_.size() > INPUT_LINE_MAX) {
            if (!dropping_line_) {
                std::printf("error line too long (over %zu bytes)\n", INPUT_LINE_MAX);
                std::fflush(stdout);
            }
            dropping_line_ = true;
            input_.clear();
        }
    }
}

void InputLines::wait(int ms) const {
    if (open_) {
        pollfd p = {STDIN_FILENO, POLLIN, 0};
        poll(&p, 1, ms);
    } else {
        SDL_Delay(static_cast<Uint32>(ms));
    }
}

bool ConsoleChannel::start(const std::string& address, int port, std::string& why) {
    console_ = Console::start(address, port, why);
    return console_ != nullptr;
}

void ConsoleChannel::announce() const {
    std::fprintf(stderr, "Console: %s\n", console_->url().c_str());
    if (!console_->on_loopback())
        std::fputs(
            "Warning: the console is served beyond this machine: anyone on the network can reach "
            "its port, and the token travels in clear\n",
            stderr);
    // Where an editor's language server on this folder finds the console.
    console_->announce(CONSOLE_NOTE);
    std::fflush(stderr);
}

void ConsoleChannel::read(const CommandAnswerer& answer, const bool& quit) {
    if (console_ == nullptr) return;
    for (const ConsoleCommand& c : console_->take_commands()) {
        if (quit) break;
        console_->send(c.client, answer(c.line));
    }
}

void ConsoleChannel::tell(const Playback& play) {
    if (console_ == nullptr) return;
    if (console_->take_joined()) {
        last_time_event_.clear();
        last_loop_event_.clear();
    }
    const bool playing = !play.still();
    char text[64];
    std::snprintf(text, sizeof text, "event time %.3f %s", static_cast<double>(play.now()),
                  playing ? "playing" : "paused");
    Uint32 ticks = SDL_GetTicks();
    if (text != last_time_event_ &&
        (!playing || last_time_event_.empty() || ticks - time_event_ticks_ >= TIME_EVENT_MS)) {
        console_->broadcast(text, true);
        last_time_event_ = text;
        time_event_ticks_ = ticks;
    }
    std::string loop = "event loop off";
    if (play.loop_on()) {
        std::snprintf(text, sizeof text, "event loop %.3f %.3f", static_cast<double>(play.loop_from),
                      static_cast<double>(play.loop_to));
        loop = text;
    }
    if (loop != last_loop_event_) {
        console_->broadcast(loop, false);
        last_loop_event_ = loop;
    }
}

void ConsoleChannel::broadcast(const std::string& event) const {
    if (console_ != nullptr) console_->broadcast(event, false);
}

void ConsoleChannel::collect_timeline(const Demo& demo) {
    if (console_ == nullptr) return;
    TimelineInput next = timeline_collect(demo, window_settings().demo_name, false);
    std::string key = timeline_music_key(next);
    if (!key.empty() && key == music_key_) {
        next.music = timeline_.music;
        next.loudness = std::move(timeline_.loudness);
    } else {
        timeline_measure(demo, next);
        music_key_ = std::move(key);
    }
    timeline_ = std::move(next);
}

void ConsoleChannel::publish(const std::vector<CheckProblem>& problems) const {
    if (console_ != nullptr)
        console_->publish(console_timeline_json(timeline_, problems), timeline_svg(timeline_));
}
