// Fatal errors, warnings and the desktop dialog that presents errors and the benchmark score.
#include "base/error.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/io.h"

namespace {

FatalHandler fatal_handler = nullptr;
ErrorPlace* innermost_place = nullptr;
FatalShutdown fatal_shutdown = nullptr;
bool dialogs_off = false;

// kdialog guesses whether a text is markup. Marked as rich text with every special character
// escaped, it shows exactly as written.
std::string qt_plain_text(const char* text) {
    std::string out = "<qt>";
    for (const char* p = text; *p != '\0'; ++p) {
        switch (*p) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '\n':
                out += "<br>";
                break;
            default:
                out += *p;
        }
    }
    return out + "</qt>";
}

// Runs the dialog without a shell and waits for it. Its own output (toolkit chatter) goes to
// /dev/null so that standard error holds only the system's messages. `input`, when given, is
// fed to its standard input.
void run_and_wait(const std::string& program, std::vector<std::string>& args, const char* input) {
    int fds[2] = {-1, -1};
    if (input != nullptr && pipe(fds) != 0) return;
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) {
        if (input != nullptr) {
            close(fds[0]);
            close(fds[1]);
        }
        return;
    }
    if (pid == 0) {
        int null_fd = open("/dev/null", O_RDWR);
        if (input != nullptr) {
            if (fds[0] != 0) {
                dup2(fds[0], 0);
                close(fds[0]);
            }
            close(fds[1]);
        } else if (null_fd >= 0) {
            dup2(null_fd, 0);
        }
        if (null_fd >= 0) {
            dup2(null_fd, 1);
            dup2(null_fd, 2);
            if (null_fd > 2) close(null_fd);
        }
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    if (input != nullptr) {
        close(fds[0]);
        // The dialog may end without reading; the broken pipe must not end this process.
        struct sigaction ignore = {};
        struct sigaction previous = {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, &previous);
        fd_write_all(fds[1], input, std::strlen(input));
        fd_write_all(fds[1], "\n", 1);
        close(fds[1]);
        sigaction(SIGPIPE, &previous, nullptr);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) break;
    }
}

}  // namespace

bool executable_on_path(const char* name, std::string& found) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return false;
    std::string dirs = path;
    size_t begin = 0;
    while (begin <= dirs.size()) {
        size_t end = dirs.find(':', begin);
        if (end == std::string::npos) end = dirs.size();
        // An empty PATH element means the current directory.
        std::string candidate =
            (end > begin ? dirs.substr(begin, end - begin) : std::string(1, '.')) + "/" + name;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0) {
            found = candidate;
            return true;
        }
        begin = end + 1;
    }
    return false;
}

void fatal_set_shutdown(FatalShutdown shutdown) {
    fatal_shutdown = shutdown;
}

FatalHandler fatal_set_handler(FatalHandler handler) {
    FatalHandler previous = fatal_handler;
    fatal_handler = handler;
    return previous;
}

void dialogs_disable() {
    dialogs_off = true;
}

bool dialogs_enabled() {
    const char* no_dialog = std::getenv("TARVEL_NO_DIALOG");
    bool env_off = no_dialog != nullptr && *no_dialog != '\0' && std::strcmp(no_dialog, "0") != 0;
    return !dialogs_off && !env_off;
}

void dialog_show(const char* title, const char* text, bool error) {
    if (!dialogs_enabled()) return;
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0')) return;

    std::string program;
    std::vector<std::string> args;
    const char* input = nullptr;
    if (executable_on_path("zenity", program)) {
        args = {program, error ? "--error" : "--info", "--no-markup", std::string("--title=") + title,
                std::string("--text=") + text};
    } else if (executable_on_path("kdialog", program)) {
        args = {program, "--title", title, error ? "--error" : "--msgbox", qt_plain_text(text)};
    } else if (executable_on_path("xmessage", program)) {
        // Given on the command line, words of the text that look like X toolkit options would be
        // taken as options; read from standard input, the text stays as it is.
        args = {program, "-center", "-title", title, "-buttons", "OK", "-default", "OK", "-file", "-"};
        input = text;
    } else {
        return;
    }
    run_and_wait(program, args, input);
}

void fatal_present_and_exit(const char* message) {
    std::fprintf(stderr, "Error: %s\n", message);
    std::fflush(stderr);
    dialog_show("Error", message, true);
    std::exit(255);
}

int fatal_capturing = 0;

ErrorPlace::ErrorPlace(std::string script_, int line_, std::string hint_)
    : script(std::move(script_)), line(line_), hint(std::move(hint_)), outer_(innermost_place) {
    innermost_place = this;
}

ErrorPlace::~ErrorPlace() {
    innermost_place = outer_;
}

const ErrorPlace* error_place() {
    return innermost_place != nullptr && innermost_place->line > 0 ? innermost_place : nullptr;
}

std::string error_located(const std::string& message, const std::string& script, int line,
                          const std::string& hint) {
    // The place goes before the line ends a message may have, so that it stays on its line.
    size_t end = message.find_last_not_of("\r\n") + 1;
    std::string located = message.substr(0, end) + " (script '" + script + "', line " + std::to_string(line) +
                          ")" + message.substr(end);
    if (!hint.empty()) located += "\nHint: " + hint;
    return located;
}

void fatal_error(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);

    const ErrorPlace* place = error_place();
    if (fatal_capturing > 0) {
        CapturedError captured{buffer, "", 0, ""};
        if (place != nullptr) captured = {buffer, place->script, place->line, place->hint};
        throw captured;
    }
    if (place != nullptr) {
        std::string located = error_located(buffer, place->script, place->line, place->hint);
        std::snprintf(buffer, sizeof buffer, "%s", located.c_str());
    }

    if (fatal_shutdown != nullptr) fatal_shutdown();

    if (fatal_handler != nullptr) {
        fatal_handler(buffer);
        std::abort();  // a replacement must not return
    }
    fatal_present_and_exit(buffer);
}

namespace {
int warnings_given = 0;
WarningCapture* innermost_capture = nullptr;
}  // namespace

WarningCapture::WarningCapture(std::function<void(const char* message)> to_)
    : to(std::move(to_)), outer_(innermost_capture) {
    innermost_capture = this;
}

WarningCapture::~WarningCapture() {
    innermost_capture = outer_;
}

int warning_count() {
    return warnings_given;
}

void warning_message(const char* format, ...) {
    ++warnings_given;
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (innermost_capture != nullptr) {
        innermost_capture->to(buffer);
        return;
    }
    std::fprintf(stderr, "Warning: %s\n", buffer);
}

void script_error(const char* message, const char* script, int line) {
    ErrorPlace place(script, line);
    fatal_error("%s", message);
}
