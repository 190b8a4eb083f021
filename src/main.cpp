// Tarvel: plays the demo described by the scripts under the working directory.
#include "core/config.h"
#include "core/startup.h"

int main(int argc, char** argv) {
    program_argc = argc;
    program_argv = argv;
    config_set_defaults();
    demo_init();
    demo_shutdown();
    return 0;
}
