// One demo, owned in one place: its sections and their records, the pending and active lists,
// the clock, the random numbers, and what each section type keeps for all its sections.
// Destroying the Demo tears the demo down: what it made (section records, textures taken for
// it, music streams, cameras, meshes) goes with it, so nothing of an old demo can be reached
// afterwards. The runtime (runtime/) drives it; section types see it through the Frame.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <typeindex>
#include <vector>

#include "base/config.h"
#include "base/random.h"
#include "gfx/free_camera.h"
#include "resources/texture.h"
#include "script/section.h"

struct Demo {
    // A demo is read and played against one table of section types.
    explicit Demo(const SectionTypes& types);
    ~Demo();
    Demo(const Demo&) = delete;
    Demo& operator=(const Demo&) = delete;

    const SectionTypes types;
    // The sections as the scripts gave them, and the settings they gave the show (then the
    // command line's): a reload reads both anew, and keys flip the overlays here.
    SectionList sections;
    ShowSettings settings;
    // Waiting to start, by start time; running, by layer.
    Section* pending = nullptr;
    Section* active = nullptr;

    // The clock: demo time, the step of the frame being drawn, the tick time (seconds) the
    // demo time counts from, and the frame-rate figures.
    float time = 0;
    float delta = 0;
    float clock_base = 0;
    int32_t frame_count = 0;
    int32_t fps_frames = 0;
    float fps_time = 0;
    float fps_value = 0;
    bool quit = false;

    // The load phase: its counts, whether it runs, whether it shows the loading screen, and
    // whether every section takes part whatever demo_start and demo_end say (the maker's mode,
    // where any time can be reached by a seek).
    int32_t load_type_count = 0;
    int32_t load_section_count = 0;
    int32_t load_step_count = 0;
    bool loading = false;
    bool no_loading_screen = false;
    bool keep_all = false;

    // The camera of the frame being drawn (null until a camera section sets it), and the speeds
    // of the debug camera's free flight.
    Camera* camera = nullptr;
    FreeFlight free_flight;
    Random random;

    // What inits made for their sections (Section.data points into these), freed the last
    // made first; and one slot per section type for what the type keeps for all its sections,
    // by the type of what it keeps.
    std::vector<std::shared_ptr<void>> records;
    std::map<std::type_index, std::shared_ptr<void>> type_state;

    // The texture slots from this one on were taken for the demo; the pool holds the textures an
    // earlier demo left for this one to take back.
    int first_texture = 0;
    TexturePool pool;
};

// The frame context of the demo as it stands.
Frame demo_frame(Demo& demo);

// Progress of the load phase: steps done / (types + sections), 0 before anything is counted.
float demo_load_progress(const Demo& demo);

// A record of the demo's, kept until the demo goes.
template <typename T>
T* demo_keep(Demo& demo, std::unique_ptr<T> record) {
    T* kept = record.get();
    demo.records.push_back(std::shared_ptr<void>(std::move(record)));
    return kept;
}

template <typename T>
T* demo_record_new(Demo& demo) {
    return demo_keep(demo, std::make_unique<T>());
}

// What a section type keeps for all its sections in this demo (a T of its own), made on
// first use; `made` tells whether this call made it.
template <typename T>
T& demo_type_state(Demo& demo, bool* made = nullptr) {
    std::shared_ptr<void>& slot = demo.type_state[std::type_index(typeid(T))];
    if (made != nullptr) *made = slot == nullptr;
    if (slot == nullptr) slot = std::make_shared<T>();
    return *static_cast<T*>(slot.get());
}
