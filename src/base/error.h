// The system's two ways of reporting a problem: fatal errors (shutdown, message, exit 255)
// and warnings (one line on standard error, playback goes on).
#pragma once

#include <string>

#define TARVEL_PRINTF(fmt_index, args_index) __attribute__((format(printf, fmt_index, args_index)))

// Formats into a 1024-byte buffer (longer messages are cut), runs the registered shutdown, then
// hands the message to the final step. Never returns.
[[noreturn]] void fatal_error(const char* format, ...) TARVEL_PRINTF(1, 2);

// "Warning: %s\n" on standard error, the message cut at 1023 characters.
void warning_message(const char* format, ...) TARVEL_PRINTF(1, 2);

// fatal_error with "%s (script '%s', line %d)".
[[noreturn]] void script_error(const char* message, const char* script, int line);

// The final step of a fatal error: presentation and exit. Tests and fuzz harnesses replace it
// (for example with one that throws FatalError) to observe the message without ending the process.
// If the replacement returns, the process aborts.
using FatalHandler = void (*)(const char* message);
FatalHandler fatal_set_handler(FatalHandler handler);

// The shutdown a fatal error runs before its message (the player's demo_shutdown). The program
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
