// The "efxInverse" section type.
#include "script/section.h"

// Callbacks come with the type's implementation; until then every slot is the shared no-op.
extern const SectionType efx_inverse_type = {"efxInverse", section_noop, section_noop,
                                             section_noop, section_noop, section_noop};
