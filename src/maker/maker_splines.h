// The spline files of the running demo as the maker edits them live: each file the sections
// name, kept as text, its keys changed on a command, written back in place and handed to every
// section that uses it without a reload; the history of those edits for undo and redo; and the
// curves as /splines.json serves them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "maker/maker_commands.h"
#include "resources/spline_text.h"

struct Demo;
struct Section;
class FolderWatch;

// Files of more keys than this are served without their sampled curves: at 16 samples a key, a
// file of a million keys would make a reply of gigabytes.
inline constexpr size_t SPLINE_SAMPLED_KEYS_MAX = 4096;
// Samples of the curve between two keys in /splines.json.
inline constexpr int SPLINE_SAMPLES_PER_KEY = 16;

class SplineEdits {
  public:
    // The demo just built: its spline files read as they are now, and the sections using each.
    void collect(Demo& demo);
    // The demo is gone; its sections are no longer reached. The history stays for the next one.
    void forget() { files_.clear(); }

    // A key edit, undo or redo: "ok" or "error WHY", and then nothing changed. When the keys
    // of a file changed (the edit, or the file found changed on disk and read again), `changed`
    // names it, else it is "".
    std::string apply(const MakerCommand& c, FolderWatch& folder, std::string& changed);

    // The files, their keys, their uses and their curves as the sections evaluate them.
    std::string json() const;

  private:
    struct Use {
        Section* section;
        int index;
        std::string type;  // the section's type name
    };
    struct File {
        std::string archive;  // the archive holding the file, "" for a plain file
        bool read = false;    // `text` holds the file as it is on disk
        SplineText text;
        std::vector<Use> uses;
    };

    File* find(const std::string& name, std::string& why);
    // Whether the file on disk still holds what the player read; when not, it is read again
    // and handed to the sections, and `why` says so.
    bool unchanged_on_disk(const std::string& name, File& file, std::string& why);
    std::string write(const std::string& name, File& file, SplineText next, FolderWatch& folder);
    std::string undo_or_redo(bool undo, FolderWatch& folder, std::string& changed);

    std::map<std::string, File> files_;
    SplineHistory history_;
};

// The names of the channels a use reads ("eye x", "red", ...; "channel N" when they have none),
// by the section type, the spline's index, the section's spline count and the file's channels.
std::vector<std::string> spline_channel_names(const std::string& type, int index, int spline_count,
                                              int channels);
