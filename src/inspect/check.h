// The whole demo at once: every problem the player would stop at while loading, and warnings
// about what it accepts but is almost always a mistake. No window, no GL, no sound device.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "resources/files.h"

#include "script/problem.h"

// Checks the demo in the working directory: reads every script (each error with its hint, then
// the next line), applies each section type's checks to every section and, with
// `decode_files`, opens and decodes every file the demo names and the font, and looks for files
// that nothing uses. Reads into settings and sections of its own, so that a demo playing
// meanwhile goes on; never ends the program. Problems come ordered by
// script and line; a hint follows its error.
// What a check may read besides the files: texts standing in for scripts (ScriptRead::texts),
// the pictures earlier checks found good, kept up to date (LoadContext::pictures_checked), and a
// bound on its walks of the folder (LoadContext::walk_bound).
struct CheckSources {
    const std::map<std::string, std::string>* texts = nullptr;
    std::map<std::string, PictureStamp>* pictures_checked = nullptr;
    FileWalkBound* walk_bound = nullptr;
};
std::vector<CheckProblem> demo_check(bool decode_files, const CheckSources& sources = {});

// One line each, "SCRIPT:LINE: error: MESSAGE" (or warning, hint; "FILE: ..." without a line,
// "tarvel: ..." without either), then "N errors, M warnings". Returns the exit status: 1 when
// there are errors, else 0.
int check_report(const std::vector<CheckProblem>& problems, std::FILE* out);
