// The "ray" section type.
#include "script/section.h"

// Callbacks come with the type's implementation; until then every slot is the shared no-op.
extern const SectionType ray_type = {"ray", section_noop, section_noop, section_noop, section_noop, section_noop};
