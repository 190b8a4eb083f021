// Fatal errors, warnings and the desktop dialog that presents errors and the benchmark score.
#include "core/error.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/startup.h"

namespace {

FatalHandler fatal_handler = nullptr;

bool executable_on_path(const char* name, std::string& found) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return false;
    std::string dirs = path;
    size_t begin = 0;
    while (begin <= dirs.size()) {
        size_t end = dirs.find(':', begin);
        if (end == std::string::npos) end = dirs.size();
        // An empty PATH element means the current directory.
        std::string candidate = (end > begin ? dirs.substr(begin, end - begin) : std::string(1, '.')) + "/" + name;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0) {
            found = candidate;
            return true;
        }
        begin = end + 1;
    }
    return false;
}

}  // namespace

FatalHandler fatal_set_handler(FatalHandler handler) {
    FatalHandler previous = fatal_handler;
    fatal_handler = handler;
    return previous;
}

void dialog_show(const char* title, const char* text, bool error) {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0')) return;

    std::string program;
    std::vector<std::string> args;
    if (executable_on_path("zenity", program)) {
        // --no-markup: the text is shown as it stands, never interpreted.
        args = {program, error ? "--error" : "--info", "--no-markup", std::string("--title=") + title,
                std::string("--text=") + text};
    } else if (executable_on_path("kdialog", program)) {
        args = {program, "--title", title, error ? "--error" : "--msgbox", text};
    } else if (executable_on_path("xmessage", program)) {
        args = {program, "-center", "-title", title, "-buttons", "OK", "--", text};
    } else {
        return;
    }

    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) return;
    if (pid == 0) {
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) break;
    }
}

void fatal_present_and_exit(const char* message) {
    std::fprintf(stderr, "Error: %s\n", message);
    std::fflush(stderr);
    dialog_show("Error", message, true);
    std::exit(255);
}

void fatal_error(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);

    demo_shutdown();

    if (fatal_handler != nullptr) {
        fatal_handler(buffer);
        std::abort();  // a replacement must not return
    }
    fatal_present_and_exit(buffer);
}

void warning_message(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    std::fprintf(stderr, "Warning: %s\n", buffer);
}

void script_error(const char* message, const char* script, int line) {
    fatal_error("%s (script '%s', line %d)", message, script, line);
}
