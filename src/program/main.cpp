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
#include <vector>

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
#include "program/video_jobs.h"
#include "script/parser.h"

namespace {

std::string absolute_path(const std::string& path) {
    if (path.empty() || path.front() == '/') return path;
    char here[PATH_MAX];
    if (getcwd(here, sizeof here) == nullptr) return path;
    return std::string(here) + "/" + path;
}

// The player's own file, for the command lines of the spans it hands to other processes.
std::string player_path(const char* argv0) {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return absolute_path(argv0);
    self[n] = '\0';
    return self;
}

std::string command_line(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& w : words) line += (line.empty() ? "" : " ") + shell_word(w);
    return line;
}

// --jobs, --video-plan and --video-join, after the scripts are read: no window of its own.
int video_split(const Demo& demo, const Config& settings, const CliOptions& options, const std::string& video,
                const std::string& demo_dir, const std::string& player) {
    const int asked = options.video_plan   ? *options.video_plan
                      : options.video_join ? *options.video_join
                                           : options.jobs;
    const VideoRequest request{video,      settings.record_fps, options.from,
                               options.to, options.profile,     !options.no_audio};
    const std::vector<VideoPart> parts = video_plan(demo, request, asked);
    const int width = settings.gl_width, height = settings.gl_height;
    const float rate = settings.record_fps;
    if (options.video_plan) {
        for (const VideoPart& part : parts)
            std::printf("%s\n",
                        command_line(video_part_command(options, part, player, demo_dir, width, height, rate))
                            .c_str());
        const std::vector<std::string> join =
            video_join_command(options, parts.size(), video, player, demo_dir, width, height, rate);
        std::printf("%s\n", command_line(join).c_str());
        return 0;
    }
    if (options.video_join) {
        video_join(demo, request, parts);
    } else {
        video_jobs_run(demo, options, request, parts, player, demo_dir, width, height, rate);
    }
    video_parts_remove(parts);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Every fatal error from here on closes what start-up opened before it reports.
    fatal_set_shutdown(player_shutdown);

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
    std::string demo_dir = absolute_path(options.demo_dir.empty() ? "." : options.demo_dir);
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
    if (!video.empty() && (options.jobs > 1 || options.video_plan || options.video_join))
        return video_split(*demo, settings, options, video, demo_dir, player_path(argv[0]));
    if (!video.empty())
        video_export_prepare({video, options.video_fps.value_or(0.0f), options.from, options.to,
                              options.profile, !options.no_audio},
                             settings);
    demo->settings = settings;
    benchmark_watch(demo.get());
    player_start(*demo, settings);
    if (!video.empty()) video_export_start(*demo);
    main_loop(*demo);
    if (!video.empty()) video_export_finish();
    demo_close(demo);
    player_shutdown();
    return 0;
}
