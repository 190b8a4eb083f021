// The Demo's own life: what it takes at birth and gives back when it goes.
#include "sections/demo.h"

#include "resources/texture.h"

Demo::Demo(const SectionTypes& types) : types(types), first_texture(texture_count) {}

Demo::~Demo() {
    // Records first, the last made first: a music stream leaves the mixer before its file data
    // goes, and an effect's record before the type's shared state it may point into.
    while (!records.empty()) records.pop_back();
    type_state.clear();
    sections.clear();
    texture_table_truncate(first_texture);
}

Frame demo_frame(Demo& demo) {
    return {demo, demo.time, demo.delta, demo_load_progress(demo), demo.camera};
}

float demo_load_progress(const Demo& demo) {
    int32_t total = demo.load_type_count + demo.load_section_count;
    if (total <= 0) return 0.0f;
    return static_cast<float>(demo.load_step_count) / static_cast<float>(total);
}
