// The maker's folder watching: timed looks at the demo folder and what the loads opened.
#include "maker/maker_folder.h"

#include <SDL/SDL.h>

#include <filesystem>

#include "base/io.h"
#include "resources/files.h"

namespace {

// How often the folder is looked at; a change is taken once two looks agree.
constexpr Uint32 SCAN_INTERVAL_MS = 250;

}  // namespace

FolderWatch::FolderWatch() {
    std::error_code error;
    guard_.folder = std::filesystem::canonical(".", error).string();
}

bool FolderWatch::due() {
    Uint32 ticks = SDL_GetTicks();
    if (!reload_asked_) {
        if (ticks - last_scan_ticks_ < SCAN_INTERVAL_MS) return false;
        last_scan_ticks_ = ticks;
        FileSnapshot scan = watch_scan(".", outputs_);
        bool settled = scan == last_scan_;
        last_scan_ = std::move(scan);
        if (!settled || last_scan_ == loaded_) return false;
    } else {
        last_scan_ = watch_scan(".", outputs_);
    }
    reload_asked_ = false;
    return true;
}

FileSnapshot FolderWatch::scan_for_load(std::vector<std::string>& changed) {
    FileSnapshot scan = watch_scan(".", outputs_);
    changed = watch_changes(built_, scan);
    loaded_ = last_scan_ = scan;
    last_scan_ticks_ = SDL_GetTicks();
    return scan;
}

FolderWatch::OpenLog::OpenLog(FolderWatch& folder) : folder_(folder) {}

FolderWatch::OpenLog::~OpenLog() {
    for (const std::string& path : files_.opened) {
        // The watcher's name for the file: "./data/a.tga" is "data/a.tga".
        const std::string name = std::filesystem::path(path).lexically_normal().string();
        folder_.outputs_.erase(name);
        folder_.opened_.insert(name);
    }
}

std::string FolderWatch::write(const std::string& file, const std::vector<uint8_t>& bytes, WriteAsker who) {
    guard_.demo = write_identities(opened_);
    std::string inside_as;
    std::string refused = write_file_guarded(file, bytes, who, guard_, inside_as);
    if (!refused.empty()) return refused;
    if (!inside_as.empty()) outputs_.insert(inside_as);
    return "";
}

std::string FolderWatch::edit(const std::string& file, const std::vector<uint8_t>& bytes) {
    guard_.demo = write_identities(opened_);
    std::string inside_as;
    std::string refused = write_file_guarded(file, bytes, WriteAsker::Edit, guard_, inside_as);
    if (!refused.empty()) return refused;
    FileStamp stamp;
    if (!watch_stamp(inside_as, stamp)) return "";
    for (FileSnapshot* seen : {&loaded_, &last_scan_, &built_}) {
        auto it = seen->find(inside_as);
        if (it != seen->end()) it->second = stamp;
    }
    return "";
}

bool file_changed(const char* path, const std::vector<std::string>& changed_files) {
    const std::string_view name = path_without_dot(path);
    for (const std::string& changed : changed_files) {
        if (changed == name) return true;
        // A changed archive may hold any file: nothing is kept then.
        if (file_archive_folder(changed) != changed) return true;
    }
    return false;
}
