// The "efxRadialBlur" section type.
#include "script/section.h"

// Callbacks come with the type's implementation; until then every slot is the shared no-op.
extern const SectionType efx_radial_blur_type = {"efxRadialBlur", section_noop, section_noop, section_noop, section_noop, section_noop};
