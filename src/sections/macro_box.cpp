// The "macroBox" section type.
#include "script/section.h"

// Callbacks come with the type's implementation; until then every slot is the shared no-op.
extern const SectionType macro_box_type = {"macroBox", section_noop, section_noop, section_noop, section_noop, section_noop};
