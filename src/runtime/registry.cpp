// The player's table of section types: one row per type, each defined in its own file.
#include "runtime/registry.h"

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

namespace {
constexpr const SectionType* rows[SECTION_TYPE_COUNT] = {
    &loading_type,      &efx_black_white_type, &efx_color_type,       &efx_deform_type,   &efx_fader_type,
    &efx_inverse_type,  &efx_radial_blur_type, &efx_render_mesh_type, &efx_repeat_type,   &ray_type,
    &background_type,   &object_type,          &object_matrix_type,   &camera_type,       &image_type,
    &image_matrix_type, &particle_matrix_type, &macro_box_type,       &particle_tex_type, &pathway_type,
    &sound_type,
};
static_assert(rows[SECTION_TYPE_LOADING] == &loading_type && rows[SECTION_TYPE_CAMERA] == &camera_type &&
              rows[SECTION_TYPE_SOUND] == &sound_type);
}  // namespace

const SectionTypes section_types{rows, SECTION_TYPE_COUNT};
