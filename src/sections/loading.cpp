// The "loading" section type.
#include "script/section.h"

// Callbacks come with the type's implementation; until then every slot is the shared no-op.
extern const SectionType loading_type = {"loading", section_noop, section_noop, section_noop, section_noop, section_noop};
