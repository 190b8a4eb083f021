// The "sound" section type.
#include "script/section.h"

// Callbacks come with the type's implementation; until then every slot is the shared no-op.
extern const SectionType sound_type = {"sound", section_noop, section_noop, section_noop, section_noop, section_noop};
