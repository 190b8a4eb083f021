// The section-type registry and the list of all sections.
#include "script/section.h"

#include <GL/gl.h>

#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "resources/files.h"
#include "resources/spline.h"

extern const SectionType loading_type;
extern const SectionType efx_black_white_type;
extern const SectionType efx_color_type;
extern const SectionType efx_deform_type;
extern const SectionType efx_fader_type;
extern const SectionType efx_inverse_type;
extern const SectionType efx_radial_blur_type;
extern const SectionType efx_render_mesh_type;
extern const SectionType efx_repeat_type;
extern const SectionType ray_type;
extern const SectionType background_type;
extern const SectionType object_type;
extern const SectionType object_matrix_type;
extern const SectionType camera_type;
extern const SectionType image_type;
extern const SectionType image_matrix_type;
extern const SectionType particle_matrix_type;
extern const SectionType macro_box_type;
extern const SectionType particle_tex_type;
extern const SectionType pathway_type;
extern const SectionType sound_type;

const SectionType* const section_types[SECTION_TYPE_COUNT] = {
    &loading_type,      &efx_black_white_type, &efx_color_type,       &efx_deform_type,   &efx_fader_type,
    &efx_inverse_type,  &efx_radial_blur_type, &efx_render_mesh_type, &efx_repeat_type,   &ray_type,
    &background_type,   &object_type,          &object_matrix_type,   &camera_type,       &image_type,
    &image_matrix_type, &particle_matrix_type, &macro_box_type,       &particle_tex_type, &pathway_type,
    &sound_type,
};

Section* current_section = nullptr;
Section* section_list = nullptr;

namespace {
// Owns every section record; the intrusive links above only point into it.
std::vector<std::unique_ptr<Section>>& section_storage() {
    static std::vector<std::unique_ptr<Section>> storage;
    return storage;
}

std::vector<std::shared_ptr<void>>& data_storage() {
    static std::vector<std::shared_ptr<void>> storage;
    return storage;
}
}  // namespace

void section_data_hold(std::shared_ptr<void> record) {
    data_storage().push_back(std::move(record));
}

void section_data_release_all() {
    auto& storage = data_storage();
    while (!storage.empty()) storage.pop_back();
}

void section_noop() {}

void section_check_none(const Section&, bool) {}

namespace {

// Why a file name may not open although it looks right: what follows it on the line, unseen
// or taken for a comment, is part of the name.
std::string file_name_hint(const std::string& name) {
    size_t semicolon = name.find(';');
    if (semicolon != std::string::npos) {
        std::string before = name.substr(0, semicolon);
        before.erase(before.find_last_not_of(" \t") + 1);
        if (!before.empty() && file_exists(before.c_str()))
            return "the ';' and what follows it are part of the name: '" + before +
                   "' exists (a comment takes a line of its own)";
        return "";
    }
    size_t end = name.find_last_not_of(" \t") + 1;
    if (end < name.size() && end > 0 && file_exists(name.substr(0, end).c_str()))
        return "the name ends in blanks: '" + name.substr(0, end) + "' exists without them";
    return "";
}

}  // namespace

ErrorPlace section_at(const Section& s) {
    return ErrorPlace(s.script, s.line);
}

ErrorPlace section_at_param(const Section& s, int i) {
    return ErrorPlace(s.script,
                      i >= 0 && i < s.param_count && s.param_lines[i] > 0 ? s.param_lines[i] : s.line);
}

ErrorPlace section_at_string(const Section& s, int i) {
    if (i < 0 || i >= s.string_count || s.string_lines[i] <= 0) return ErrorPlace(s.script, s.line);
    return ErrorPlace(s.script, s.string_lines[i], file_name_hint(s.strings[i]));
}

bool section_spline_short(const Section& s, int i, int needed) {
    return s.splines[i] != nullptr && s.splines[i]->channels < needed;
}

ErrorPlace section_at_spline(const Section& s, int i) {
    return ErrorPlace(s.script,
                      i >= 0 && i < s.spline_count && s.spline_lines[i] > 0 ? s.spline_lines[i] : s.line);
}

int section_type_find(const char* name) {
    for (int i = 0; i < SECTION_TYPE_COUNT; ++i) {
        if (std::strcmp(section_types[i]->name, name) == 0) return i;
    }
    return -1;
}

Section* section_new() {
    auto& storage = section_storage();
    storage.push_back(std::make_unique<Section>());
    Section* s = storage.back().get();
    s->next = section_list;
    section_list = s;
    return s;
}

void section_list_clear() {
    auto& storage = section_storage();
    for (auto& s : storage) {
        for (int i = 0; i < SECTION_MAX_SPLINES; ++i) delete s->splines[i];
    }
    storage.clear();
    section_list = nullptr;
    current_section = nullptr;
}

void section_list_free(Section* head) {
    std::set<const Section*> doomed;
    for (Section* s = head; s != nullptr; s = s->next) doomed.insert(s);
    auto& storage = section_storage();
    std::erase_if(storage, [&](const std::unique_ptr<Section>& s) {
        if (doomed.count(s.get()) == 0) return false;
        for (int i = 0; i < SECTION_MAX_SPLINES; ++i) delete s->splines[i];
        return true;
    });
}

void section_blend_begin(const Section& s) {
    if (s.blend_on) {
        glEnable(GL_BLEND);
        glBlendFunc(static_cast<GLenum>(s.blend_src), static_cast<GLenum>(s.blend_dst));
    }
}

void section_blend_end(const Section& s) {
    if (s.blend_on) glDisable(GL_BLEND);
}

void section_blend_alpha_begin(const Section& s) {
    section_blend_begin(s);
    if (s.alpha_on) {
        glEnable(GL_ALPHA_TEST);
        float r = s.alpha_ref_from + (s.alpha_ref_to - s.alpha_ref_from) * s.elapsed / s.duration;
        glAlphaFunc(static_cast<GLenum>(s.alpha_func), r);
    }
}

void section_blend_alpha_end(const Section& s) {
    section_blend_end(s);
    if (s.alpha_on) glDisable(GL_ALPHA_TEST);
}
