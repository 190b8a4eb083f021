// Files the player writes on a person's word (the maker's screenshots, and any later writer such
// as spline edits or exports): which paths may be written, and writing them whole or not at all.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

// Who asked for the file: a console client is a program that may not be the maker's own, so it
// writes inside the demo folder only, and only new files or the player's own; standard input is
// the maker's terminal, which may name a new file anywhere it can write. An edit (a spline's keys
// moved on either's word) replaces one of the demo's own files inside the demo folder, keeping
// its mode, and nothing else.
enum class WriteAsker { Console, Terminal, Edit };

// A file by its device and inode, whichever name or link reaches it.
using FileIdentity = std::pair<dev_t, ino_t>;
// A file as the player left it: its identity, the time its status last changed (in nanoseconds)
// and its size, so that another file made later under a freed inode number is not taken for it.
using FileVersion = std::tuple<dev_t, ino_t, int64_t, off_t>;

// What the player knows when a write is asked for.
struct WriteGuard {
    std::string folder;             // the demo folder, its links resolved
    std::set<FileIdentity> demo;    // the files the demo reads
    std::set<FileVersion> written;  // the files the player wrote itself in this run
};

// What the path asked for turned out to be, its folder resolved.
struct WriteFacts {
    bool inside = false;  // its folder lies in the real demo folder
    bool exists = false;
    bool link = false;  // the name itself is a symbolic link
    bool regular = false;
    bool demo_file = false;    // the same file as one the demo reads
    bool script_name = false;  // inside, and named as the player's scripts are (".tvl" in it)
    bool ours = false;         // a file the player wrote in this run
};

// Why the path may not be written, "" when it may. Nothing is written through a link, over what
// is not a regular file, over a file of the demo, or as a new script; a console client writes
// only inside the demo folder, and replaces only the player's own files.
std::string write_refusal(const WriteFacts& facts, WriteAsker who);

// The archive the file layer finds `path` in when it is no plain file: the one standing for the
// longest folder of the path that has one. "" for a plain file, or when no archive has it.
std::string archive_holding(const std::string& path);

// The files at `paths` (as the file layer opened them, relative to the working directory); a path
// found inside an archive stands for the archive.
std::set<FileIdentity> write_identities(const std::set<std::string>& paths);

// Writes `bytes` as the file `path` when write_refusal allows it: into a new file beside it,
// renamed over it once complete, so that the file is whole or untouched, and a link in its place
// is replaced rather than written through. Returns "" or the reason as "cannot write 'PATH': WHY".
// Once written, the file is one of guard.written, and `inside_as` is its path under the demo
// folder as the folder's watcher names it ("" when it lies outside).
std::string write_file_guarded(const std::string& path, const std::vector<uint8_t>& bytes, WriteAsker who,
                               WriteGuard& guard, std::string& inside_as);
