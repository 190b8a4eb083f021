// The maker's folder watching: when the demo's files changed enough to rebuild it, which files
// changed since the running demo was built, the files its loads opened (never written over on
// anyone's word) and the files the player wrote itself (not taken for changes).
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "maker/maker_files.h"
#include "resources/files.h"
#include "maker/watch.h"

class FolderWatch {
  public:
    // The folder is the working directory.
    FolderWatch();

    // A reload is wanted whatever the folder holds (the R key).
    void ask_reload() { reload_asked_ = true; }
    // Whether the demo must be rebuilt now: a reload was asked for, or the folder changed and
    // two looks at it agree. Looks at most every so often.
    bool due();

    // The folder as a load is about to read it; `changed` is what differs from the files the
    // running demo was built from (a refused reload in between left it as it was, so its
    // pictures are judged against the files it read).
    FileSnapshot scan_for_load(std::vector<std::string>& changed);
    // The running demo is now the one built from `scan`.
    void built(FileSnapshot scan) { built_ = std::move(scan); }

    // Records the files a load opens while it lives: they are the demo's, and watched even when
    // the player wrote them earlier.
    class OpenLog {
      public:
        explicit OpenLog(FolderWatch& folder);
        ~OpenLog();
        OpenLog(const OpenLog&) = delete;
        OpenLog& operator=(const OpenLog&) = delete;

      private:
        FolderWatch& folder_;
        LoadContext files_;
        LoadScope in_force_{files_};
    };

    // Writes a file on someone's word, guarded against writing over the demo's files; "" or the
    // reason it was not written.
    std::string write(const std::string& file, const std::vector<uint8_t>& bytes, WriteAsker who);
    // Replaces one of the demo's own files on the maker's word (its keys edited): the new version
    // is what the running demo holds already, so it is neither a change to reload nor an output.
    std::string edit(const std::string& file, const std::vector<uint8_t>& bytes);

  private:
    bool reload_asked_ = false;
    FileSnapshot loaded_, last_scan_;
    FileSnapshot built_;  // the files as the running demo was built from them
    uint32_t last_scan_ticks_ = 0;
    std::set<std::string> outputs_;
    // Every file the demo's loads opened in this run.
    std::set<std::string> opened_;
    WriteGuard guard_;
};

// Whether the file at `path` is among the `changed` paths of a snapshot, or may be (an archive
// changed).
bool file_changed(const char* path, const std::vector<std::string>& changed_files);
