// Noticing changes to a demo's files: a snapshot of every file under the demo folder (size and
// modification time), taken again and again, and the difference between two snapshots.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

struct FileStamp {
    int64_t size = 0;
    int64_t modified_ns = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the regular file at `path` (links followed); false when there is none.
bool watch_stamp(const std::string& path, FileStamp& out);

// Relative path ("./" left out) -> stamp, for every regular file.
using FileSnapshot = std::map<std::string, FileStamp>;

// Whether a path under the demo folder is left out of snapshots: the recorded frames (the top
// folder "video"), hidden files and folders (an editor's swap files, version control) and backup
// names ending in '~', the S key's screenshots (screen00.tga to screen99.tga at the top); and
// every path in `outputs` (files the player wrote).
bool watch_ignored(const std::string& path, const std::set<std::string>& outputs);

// Walks the tree under `root` (symbolic links to files are followed, links to folders are not,
// so a link back up cannot loop). Stops after reading `limit` entries of folders (those left out
// counted too), and then sets `cut`.
FileSnapshot watch_scan(const std::string& root, const std::set<std::string>& outputs, size_t limit = 100000,
                        bool* cut = nullptr);

// Paths created, changed or removed between two snapshots, sorted.
std::vector<std::string> watch_changes(const FileSnapshot& before, const FileSnapshot& after);
