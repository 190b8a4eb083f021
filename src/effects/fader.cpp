// The "efxFader" section type.
#include "script/section.h"

// Callbacks come with the type's implementation; until then every slot is the shared no-op.
extern const SectionType efx_fader_type = {"efxFader",   section_noop, section_noop,
                                           section_noop, section_noop, section_noop};
