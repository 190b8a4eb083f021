// The "objectMatrix" section type.
#include "script/section.h"

// Callbacks come with the type's implementation; until then every slot is the shared no-op.
extern const SectionType object_matrix_type = {"objectMatrix", section_noop, section_noop,
                                               section_noop,   section_noop, section_noop};
