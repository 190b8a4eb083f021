// Tarvel: plays the demo described by the scripts under the working directory.
#include "core/config.h"
#include "core/sequencer.h"
#include "core/startup.h"

int main(int argc, char** argv) {
    // Kept, never interpreted: the scripts are the only configuration.
    program_argc = argc;
    program_argv = argv;
    config_set_defaults();
    demo_init();
    main_loop();
    demo_shutdown();
    return 0;
}
