// The "camera" section type.
#include "script/section.h"

// Callbacks come with the type's implementation; until then every slot is the shared no-op.
extern const SectionType camera_type = {"camera", section_noop, section_noop, section_noop, section_noop, section_noop};
