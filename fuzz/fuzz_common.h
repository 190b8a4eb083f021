// Shared set-up for the fuzz harnesses: each harness runs one reader (fuzz/targets.h) on one
// input inside a private working directory, and a fatal error ends that input (it throws out of
// the reader instead of ending the process).
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/error.h"
#include "targets.h"

// The audio libraries' own leaks on damaged files (see fuzz::library_leaks).
extern "C" const char* __lsan_default_suppressions() {
    return fuzz::library_leaks;
}

namespace fuzz {

[[noreturn]] inline void throw_fatal(const char* message) {
    throw FatalError{message};
}

// Called once: a private working directory and the throwing fatal handler. Every input is
// written to a file, since the readers open files by name; a directory in memory (/dev/shm)
// keeps that cheap.
inline void setup() {
    static bool done = false;
    if (done) return;
    done = true;
    struct stat st;
    std::string base = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
    std::string tmpl = base + "/tarvel-fuzz-XXXXXX";
    if (mkdtemp(tmpl.data()) == nullptr || chdir(tmpl.c_str()) != 0) std::abort();
    fatal_set_handler(throw_fatal);
}

// A broken promise is a finding like a crash: abort, so that libFuzzer keeps the input.
inline void check(const std::string& problem) {
    if (problem.empty()) return;
    std::fprintf(stderr, "finding: %s\n", problem.c_str());
    std::abort();
}

}  // namespace fuzz
