// Tarvel: plays the demo described by the scripts in a folder (the working directory unless
// the command line names one).
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "inspect/check.h"
#include "program/cli.h"
#include "lsp/lsp.h"
#include "maker/maker.h"
#include "base/config.h"
#include "base/error.h"
#include "runtime/sequencer.h"
#include "runtime/registry.h"
#include "runtime/startup.h"
#include "inspect/timeline.h"
#include "export/video_export.h"
#include "script/parser.h"

namespace {

std::string absolute_path(const std::string& path) {
    if (path.empty() || path.front() == '/') return path;
    char here[PATH_MAX];
    if (getcwd(here, sizeof here) == nullptr) return path;
    return std::string(here) + "/" + path;
}

}  // namespace

int main(int argc, char** argv) {
    // Every fatal error from here on closes what start-up opened before it reports.
    fatal_set_shutdown(demo_shutdown);

    CliResult cli = cli_parse(argc, argv);
    if (!cli.error.empty()) {
        std::fprintf(stderr, "tarvel: %s\nTry 'tarvel --help'.\n", cli.error.c_str());
        return 2;
    }
    const CliOptions& options = cli.options;
    if (options.help) {
        std::fputs(cli_usage(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s\n", cli_version_line());
        return 0;
    }
    // A video export and a check run unattended and the time line opens no window: nobody would
    // answer a dialog, not even one about the scripts.
    if (options.no_dialog || options.check || options.lsp || !options.video.empty() ||
        !options.timeline.empty())
        dialogs_disable();
    // A file that grows past the size limit fails its write (reported as an error) instead of
    // ending the process.
    signal(SIGXFSZ, SIG_IGN);

    // The output file is named from where the command was given, the demo's own paths from its
    // folder.
    std::string video = absolute_path(options.video);
    std::string timeline = absolute_path(options.timeline);
    if (!options.demo_dir.empty() && chdir(options.demo_dir.c_str()) != 0)
        fatal_error("Cannot open the demo folder '%s': %s", options.demo_dir.c_str(), std::strerror(errno));

    if (options.watch) {
        MakerOptions maker;
        maker.apply_command_line = [&options](Config& settings) { cli_apply(options, settings); };
        maker.serve = options.serve;
        maker.serve_address = options.serve_address;
        maker.serve_port = options.serve_port;
        return maker_run(maker);
    }
    if (options.check) return check_report(demo_check(true), stdout);
    if (options.lsp) return lsp_run();

    auto demo = std::make_unique<Demo>(section_types);
    Config settings;
    script_read_all(demo->sections, {section_types, settings});
    cli_apply(options, settings);
    demo->settings = settings;
    if (!timeline.empty()) {
        timeline_write(*demo, settings.demo_name, timeline);
        return 0;
    }
    if (!video.empty())
        video_export_prepare(
            {video, options.video_fps.value_or(0.0f), options.from, options.to, options.profile}, settings);
    demo->settings = settings;
    demo_watch(demo.get());
    demo_init(*demo, settings);
    if (!video.empty()) video_export_start(*demo);
    main_loop(*demo);
    if (!video.empty()) video_export_finish();
    demo_close(demo);
    demo_shutdown();
    return 0;
}
