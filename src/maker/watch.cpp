// Snapshots of the demo folder for the maker's mode.
#include "maker/watch.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

void scan_folder(const std::string& folder, const std::string& prefix, const std::set<std::string>& outputs,
                 size_t limit, int depth, size_t& read, bool& cut, FileSnapshot& out) {
    // Deeper than any demo goes; a guard against pathological trees.
    if (depth > 32) return;
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (dir == nullptr) return;
    while (dirent* entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (read++ >= limit) {
            cut = true;
            return;
        }
        std::string path = prefix + name;
        if (watch_ignored(path, outputs)) continue;
        std::string full = folder + "/" + name;
        struct stat link_info;
        if (lstat(full.c_str(), &link_info) != 0) continue;
        if (S_ISDIR(link_info.st_mode)) {
            scan_folder(full, path + "/", outputs, limit, depth + 1, read, cut, out);
            continue;
        }
        FileStamp stamp;
        if (watch_stamp(full, stamp)) out[path] = stamp;
    }
}

}  // namespace

bool watch_stamp(const std::string& path, FileStamp& out) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    out = {static_cast<int64_t>(info.st_size),
           static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
    return true;
}

bool watch_ignored(const std::string& path, const std::set<std::string>& outputs) {
    if (outputs.count(path) != 0) return true;
    if (path == "video" || path.rfind("video/", 0) == 0) return true;
    // The S key's screenshots, screen00.tga to screen99.tga.
    if (path.size() == 12 && path.rfind("screen", 0) == 0 && path.compare(8, 4, ".tga") == 0 &&
        std::isdigit(static_cast<unsigned char>(path[6])) &&
        std::isdigit(static_cast<unsigned char>(path[7])))
        return true;
    if (!path.empty() && path.back() == '~') return true;
    // A name that starts with a dot anywhere along the path.
    for (size_t at = 0; at < path.size();) {
        if (path[at] == '.') return true;
        size_t slash = path.find('/', at);
        if (slash == std::string::npos) break;
        at = slash + 1;
    }
    return false;
}

FileSnapshot watch_scan(const std::string& root, const std::set<std::string>& outputs, size_t limit,
                        bool* cut) {
    FileSnapshot out;
    size_t read = 0;
    bool stopped = false;
    scan_folder(root, "", outputs, limit, 0, read, stopped, out);
    if (cut != nullptr) *cut = stopped;
    return out;
}

std::vector<std::string> watch_changes(const FileSnapshot& before, const FileSnapshot& after) {
    std::vector<std::string> changed;
    for (const auto& [path, stamp] : after) {
        auto it = before.find(path);
        if (it == before.end() || !(it->second == stamp)) changed.push_back(path);
    }
    for (const auto& [path, stamp] : before) {
        if (after.count(path) == 0) changed.push_back(path);
    }
    std::sort(changed.begin(), changed.end());
    return changed;
}
