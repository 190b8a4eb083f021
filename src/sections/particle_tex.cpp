// The "particleTex" section type.
#include "script/section.h"

// Callbacks come with the type's implementation; until then every slot is the shared no-op.
extern const SectionType particle_tex_type = {"particleTex", section_noop, section_noop, section_noop, section_noop, section_noop};
