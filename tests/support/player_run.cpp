#include "player_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "test_support.h"

#ifndef TARVEL_PLAYER
#error "TARVEL_PLAYER must name the player binary"
#endif

namespace {

pid_t xvfb_pid = 0;

void xvfb_stop() {
    if (xvfb_pid > 0) {
        kill(xvfb_pid, SIGTERM);
        waitpid(xvfb_pid, nullptr, 0);
        xvfb_pid = 0;
    }
}

}  // namespace

std::string xvfb_display() {
    static std::string display;
    if (!display.empty()) return display;
    int fds[2];
    if (pipe(fds) != 0) return "";
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        std::string fd = std::to_string(fds[1]);
        // -noreset: by default the server resets when its last client leaves, and a player
        // starting during the reset cannot connect.
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
               "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    xvfb_pid = pid;
    std::atexit(xvfb_stop);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) return "";
    display = ":" + number;
    return display;
}

PlayerResult player_run(const std::string& dir, const PlayerOptions& options) {
    PlayerResult result;
    std::string display = xvfb_display();
    std::string out_path = dir + "/.player-stdout";
    std::string err_path = dir + "/.player-stderr";

    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        close(out);
        close(err);
        int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        close(devnull);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
        for (const auto& [key, value] : options.env) {
            if (value.empty()) {
                unsetenv(key.c_str());
            } else {
                setenv(key.c_str(), value.c_str(), 1);
            }
        }
        if (!options.path_prefix.empty()) {
            const char* path = std::getenv("PATH");
            std::string p = options.path_prefix + ":" + (path ? path : "/usr/bin:/bin");
            setenv("PATH", p.c_str(), 1);
        }
        setpgid(0, 0);
        execl(TARVEL_PLAYER, TARVEL_PLAYER, static_cast<char*>(nullptr));
        _exit(127);
    }

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeout_seconds);
    int status = 0;
    for (;;) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            result.timed_out = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (WIFEXITED(status)) {
        result.exit_status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.exit_status = 128 + WTERMSIG(status);
    }
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    unlink(out_path.c_str());
    unlink(err_path.c_str());
    return result;
}

void write_dialog_stub(const std::string& dir, const std::string& name, const std::string& log) {
    std::string path = dir + "/" + name;
    write_file(path, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + log + "'; done\nexit 0\n");
    chmod(path.c_str(), 0755);
}
