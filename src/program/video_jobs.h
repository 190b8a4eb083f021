// One video export over many processes: --jobs runs the spans as children of the player and
// joins them; --video-plan prints the same work as shell lines for a farm.
#pragma once

#include <string>
#include <vector>

#include "export/video_export.h"
#include "program/cli.h"

// The command line of the player `player` that renders `part` of the export `options` ask for
// in `demo_dir`, the size and rate given as resolved (`width`x`height` at `rate`), so that any
// machine renders the same frames.
std::vector<std::string> video_part_command(const CliOptions& options, const VideoPart& part,
                                            const std::string& player, const std::string& demo_dir, int width,
                                            int height, float rate);

// The last line of a plan: the join of its `parts` spans into `video`.
std::vector<std::string> video_join_command(const CliOptions& options, size_t parts, const std::string& video,
                                            const std::string& player, const std::string& demo_dir, int width,
                                            int height, float rate);

// A word for the shell: as it is when it holds nothing the shell reads, else in single quotes.
std::string shell_word(const std::string& word);

// The export's spans in `parts.size()` child processes at once, then the join; a span that
// fails is a fatal error naming it, and nothing is left of the export.
void video_jobs_run(const Demo& demo, const CliOptions& options, const VideoRequest& request,
                    const std::vector<VideoPart>& parts, const std::string& player,
                    const std::string& demo_dir, int width, int height, float rate);
