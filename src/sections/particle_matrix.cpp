// The "particleMatrix" section type.
#include "script/section.h"

// Callbacks come with the type's implementation; until then every slot is the shared no-op.
extern const SectionType particle_matrix_type = {"particleMatrix", section_noop, section_noop, section_noop, section_noop, section_noop};
