// The Section record (one scheduled appearance of one section type), the shape of a section
// type (its callbacks and its load-time checks) and of a table of them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"

struct Spline;

inline constexpr int SECTION_MAX_SYNCS = 32;
inline constexpr int SECTION_MAX_PARAMS = 32;
inline constexpr int SECTION_MAX_STRINGS = 32;
inline constexpr int SECTION_MAX_SPLINES = 32;

// Zero-filled when the parser creates it; lives as long as the SectionList (the demo) holding it.
struct Section {
    int32_t type = 0;
    float start = 0;
    float end = 0;
    float duration = 0;
    int32_t layer = 0;
    int32_t blend_src = 0;
    int32_t blend_dst = 0;
    bool blend_on = false;
    int32_t alpha_func = 0;
    float alpha_ref_from = 0;
    float alpha_ref_to = 0;
    bool alpha_on = false;
    float elapsed = 0;
    int32_t sync_count = 0;
    float syncs[SECTION_MAX_SYNCS] = {};
    int32_t param_count = 0;
    float params[SECTION_MAX_PARAMS] = {};
    int32_t string_count = 0;
    std::string strings[SECTION_MAX_STRINGS];
    int32_t spline_count = 0;
    std::string spline_names[SECTION_MAX_SPLINES];
    Spline* splines[SECTION_MAX_SPLINES] = {};  // loaded in the load phase, owned by the section
    float spline_durations[SECTION_MAX_SPLINES] = {};
    void* data = nullptr;  // type-specific state, owned by the type
    Section* next = nullptr;
    Section* pending_next = nullptr;
    Section* pending_prev = nullptr;
    Section* active_next = nullptr;
    Section* active_prev = nullptr;
    // Where the section was written: its script as discovery names it, the line of its header
    // and the line of each statement (0: none).
    std::string script;
    int line = 0;
    int start_line = 0;
    int end_line = 0;
    int param_lines[SECTION_MAX_PARAMS] = {};
    int string_lines[SECTION_MAX_STRINGS] = {};
    int spline_lines[SECTION_MAX_SPLINES] = {};
};

struct Demo;
struct Camera;
struct SectionTypes;

// Every callback is handed its section and the frame's context: the demo, its time, the frame's
// delta and camera, the load's progress. A section type keeps nothing of a demo anywhere else.
struct Frame {
    Demo& demo;
    float time;           // the demo time
    float delta;          // the step since the last frame
    float load_progress;  // steps done / steps in the load phase, 0 before any is counted
    Camera*& camera;      // the frame's camera: a camera section sets it for those drawn after it
};

using SectionCallback = void (*)(Section& s, Frame& f);

// The load-time checks of a section's counts, values and (with `files`) its files. `types` is
// the table the section was read against (efxRepeat checks its inner section by its own row).
using SectionCheck = void (*)(const Section& s, const SectionTypes& types, bool files);

// One section type: its name and what the player calls for its sections.
struct SectionType {
    const char* name;
    SectionCallback prepare;
    SectionCallback init;
    SectionCallback start;
    SectionCallback render;
    SectionCallback stop;
    SectionCheck check;
    // Draws again, from the generator as it stands, the random numbers init drew (null for the
    // types whose init draws none): a seek replays the load phase's draws this way.
    SectionCallback redraw;
    // A frame that is stepped but not drawn (the warm-up before an exported span) calls this in
    // place of render: whatever render changes that outlives the frame apart from the picture,
    // the random numbers it draws above all. Null for the types whose render changes nothing else.
    SectionCallback skip;
};

// The table of section types a demo is read and played against: rows in a fixed order, row 0
// "loading". The player's own table is built above the section types (runtime/registry.h); the
// parser, the sequencer and efxRepeat are handed it, and tests may hand in one of their own.
struct SectionTypes {
    const SectionType* const* rows = nullptr;
    int count = 0;
    const SectionType* operator[](int i) const { return rows[i]; }
    const SectionType* const* begin() const { return rows; }
    const SectionType* const* end() const { return rows + count; }
    // Index of the first row whose name equals `name` exactly, or -1.
    int find(const char* name) const;
};

// The shared no-op for every slot a type does not use.
void section_noop(Section& s, Frame& f);
void section_check_none(const Section& s, const SectionTypes& types, bool files);

// Error places at a section's header and at its statements. At a string, the place carries the
// hints for a file name that holds what the eye does not see: trailing blanks, or a ';' comment.
ErrorPlace section_at(const Section& s);
ErrorPlace section_at_param(const Section& s, int i);
ErrorPlace section_at_string(const Section& s, int i);
ErrorPlace section_at_spline(const Section& s, int i);

// Whether spline i is loaded and has fewer than `needed` channels. A spline not loaded (a check
// without files) is judged when it is.
bool section_spline_short(const Section& s, int i, int needed);

// The sections of one demo as the scripts gave them. The list runs through Section.next, the
// section parsed last first; the records (and the splines each one loaded) live as long as the
// list.
struct SectionList {
    SectionList() = default;
    SectionList(const SectionList&) = delete;
    SectionList& operator=(const SectionList&) = delete;
    ~SectionList() { clear(); }

    Section* head = nullptr;
    std::vector<std::unique_ptr<Section>> records;

    // A new zero-filled section put at the head of the list.
    Section* add();
    void clear();
};
