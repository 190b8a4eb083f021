// The note a console leaves in its demo folder (CONSOLE_NOTE): its address, for tools on the same
// folder. Anyone who can write the folder may have put something else there, so the note is
// written without following or writing through what stands at its name, and read only when it
// is a small regular file of this user's.
#pragma once

#include <string>

// Writes `line` and a line end to a new file of mode 0600 beside `path`, then renames it over
// `path`: whatever stood there (a link, a file of another mode or with other names) is replaced,
// never written through. False, leaving `path` as it was, when the note cannot be written.
bool console_note_write(const std::string& path, const std::string& line);

// The first line of the note at `path` without its line end; "" unless it is a regular file
// (not a link, a FIFO or a device) owned by this user and at most CONSOLE_NOTE_MAX bytes.
// Never blocks.
std::string console_note_read(const std::string& path);

inline constexpr size_t CONSOLE_NOTE_MAX = 4096;
