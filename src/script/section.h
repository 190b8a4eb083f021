// The Section record (one scheduled appearance of one section type) and the fixed
// registry of the 21 section types with their five callbacks and their load-time checks.
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

// Zero-filled when the parser creates it; lives until the demo is torn down (section_list_clear).
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

using SectionCallback = void (*)();

// A type's load-time checks of one section: counts, names and values, and the channels of the
// splines that are loaded (the load phase loads them before any init; a check without files
// has none). With `files`, it also opens and decodes every file the section names, without
// making textures or playing anything. It needs no window, no GL and no sound device, and
// reports the first problem as a fatal error, at the statement it concerns. Every init runs it
// (without files) before anything else.
using SectionCheck = void (*)(const Section& s, bool files);

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
};

inline constexpr int SECTION_TYPE_COUNT = 21;

// Rows in the fixed order; row 0 is "loading".
extern const SectionType* const section_types[SECTION_TYPE_COUNT];

// The shared no-op for every slot a type does not use.
void section_noop();
void section_check_none(const Section& s, bool files);

// Error places at a section's header and at its statements. At a string, the place carries the
// hints for a file name that holds what the eye does not see: trailing blanks, or a ';' comment.
ErrorPlace section_at(const Section& s);
ErrorPlace section_at_param(const Section& s, int i);
ErrorPlace section_at_string(const Section& s, int i);
ErrorPlace section_at_spline(const Section& s, int i);

// Whether spline i is loaded and has fewer than `needed` channels. A spline not loaded (a check
// without files) is judged when it is.
bool section_spline_short(const Section& s, int i, int needed);

// Index of the first row whose name equals `name` exactly, or -1.
int section_type_find(const char* name);

// The section whose callback is running.
extern Section* current_section;

// Head of the list of all sections, linked through Section.next, in reverse order of parsing.
extern Section* section_list;

// A new zero-filled section put at the head of the list of all sections.
Section* section_new();

// Empties the list of all sections (and frees them: only before the load phase and in tests).
void section_list_clear();

// Frees the sections of a list that is not the list of all sections (a checker's own).
void section_list_free(Section* head);

// Applies the section's blend and alpha test as a render callback starts (the usual shape),
// and undoes them afterwards.
void section_blend_alpha_begin(const Section& s);
void section_blend_alpha_end(const Section& s);
// The same for the blend alone.
void section_blend_begin(const Section& s);
void section_blend_end(const Section& s);

// Per-section state (what Section.data points to) is held by one owner for the whole demo, so
// that a demo can be torn down and built again: section_data_release_all frees every record, the
// last made first. Records free what they hold in their destructors.
void section_data_hold(std::shared_ptr<void> record);
void section_data_release_all();

template <typename T>
T* section_data_keep(std::unique_ptr<T> record) {
    T* kept = record.get();
    section_data_hold(std::shared_ptr<void>(std::move(record)));
    return kept;
}

template <typename T>
T* section_data_new() {
    return section_data_keep(std::make_unique<T>());
}
