// The system's two ways of reporting a problem: fatal errors (shutdown, message, exit 255)
// and warnings (one line on standard error, playback goes on).
#pragma once

#include <functional>
#include <string>

#define TARVEL_PRINTF(fmt_index, args_index) __attribute__((format(printf, fmt_index, args_index)))

// Formats into a 1024-byte buffer (longer messages are cut), runs the registered shutdown, then
// hands the message to the final step. Never returns.
[[noreturn]] void fatal_error(const char* format, ...) TARVEL_PRINTF(1, 2);

// "Warning: %s\n" on standard error, the message cut at 1023 characters; or, while a
// WarningCapture is in force, the message handed to it.
void warning_message(const char* format, ...) TARVEL_PRINTF(1, 2);
// How many warnings were given since the program started, to a sink or not.
int warning_count();

// Takes every warning given while it lives instead of standard error, the message handed to
// `to`. Captures nest as places do: the innermost takes them.
class WarningCapture {
  public:
    explicit WarningCapture(std::function<void(const char* message)> to);
    ~WarningCapture();
    WarningCapture(const WarningCapture&) = delete;
    WarningCapture& operator=(const WarningCapture&) = delete;
    const std::function<void(const char* message)> to;

  private:
    WarningCapture* outer_;
};

// `message` as a fatal error at a place words it: " (script 'SCRIPT', line N)" before any line
// end the message has, then "\nHint: HINT" when there is a hint.
std::string error_located(const std::string& message, const std::string& script, int line,
                          const std::string& hint);

// fatal_error with "%s (script '%s', line %d)".
[[noreturn]] void script_error(const char* message, const char* script, int line);

// The script statement the work in hand comes from. While one is in force, every fatal error
// ends its message with " (script '%s', line %d)" (before any line ends the message has), then
// the hint, when there is one, on a line of its own. Places nest: the innermost is in force,
// and the one before it returns when it ends. A line of 0 means no place.
class ErrorPlace {
  public:
    ErrorPlace(std::string script, int line, std::string hint = "");
    ~ErrorPlace();
    ErrorPlace(const ErrorPlace&) = delete;
    ErrorPlace& operator=(const ErrorPlace&) = delete;
    std::string script;
    int line;
    std::string hint;  // what may have caused an error here that the eye does not see ("Hint: " follows
                       // the message)

  private:
    ErrorPlace* outer_;
};

// The place in force, or null.
const ErrorPlace* error_place();

// A fatal error taken by fatal_capture: the message as the player words it, without the place,
// which comes apart.
struct CapturedError {
    std::string message;
    std::string script;  // "" when no place was in force
    int line = 0;
    std::string hint;
};

// Runs `fn`. A fatal error inside it neither shuts anything down nor ends the program: `fn` is
// left there (through the stack, so what it holds is released) and the error comes back. Returns
// whether `fn` ran to its end.
template <typename Fn>
bool fatal_capture(Fn&& fn, CapturedError& error);

// The final step of a fatal error: presentation and exit. Tests and fuzz harnesses replace it
// (for example with one that throws FatalError) to observe the message without ending the process.
// If the replacement returns, the process aborts.
using FatalHandler = void (*)(const char* message);
FatalHandler fatal_set_handler(FatalHandler handler);

// The shutdown a fatal error runs before its message (the player's player_shutdown). The program
// registers it once at start-up; until then, and in tests, there is none.
using FatalShutdown = void (*)();
void fatal_set_shutdown(FatalShutdown shutdown);

// The default final step: "Error: <message>" on standard error, the "Error" dialog, exit 255.
[[noreturn]] void fatal_present_and_exit(const char* message);

// Shows a modal desktop dialog with a title and plain text through the first of zenity, kdialog
// and xmessage found on PATH, and waits for it; does nothing without DISPLAY or WAYLAND_DISPLAY,
// after dialogs_disable, or when TARVEL_NO_DIALOG is set to anything but "" or "0".
// `error` picks the error style over the information style.
void dialog_show(const char* title, const char* text, bool error);

// Finds an executable regular file `name` along PATH (an empty element is the current
// directory); false when there is none.
bool executable_on_path(const char* name, std::string& found);

// Turns every later dialog off (--no-dialog, video export): messages go to standard error only.
void dialogs_disable();
bool dialogs_enabled();

// Thrown by the test handler (tests/support) so a test can catch a fatal error.
struct FatalError {
    std::string message;
};

// While above 0, fatal errors throw CapturedError (fatal_capture).
extern int fatal_capturing;

template <typename Fn>
bool fatal_capture(Fn&& fn, CapturedError& error) {
    ++fatal_capturing;
    try {
        fn();
    } catch (CapturedError& e) {
        --fatal_capturing;
        error = std::move(e);
        return false;
    } catch (...) {
        --fatal_capturing;
        throw;
    }
    --fatal_capturing;
    return true;
}
