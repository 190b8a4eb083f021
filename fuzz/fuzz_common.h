// Shared set-up for the fuzz harnesses: each harness runs a reader on one input inside a private
// working directory, and a fatal error ends that input (it throws out of the reader instead of
// ending the process).
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/error.h"

namespace fuzz {

[[noreturn]] inline void throw_fatal(const char* message) { throw FatalError{message}; }

// Called once: a private working directory and the throwing fatal handler.
inline void setup() {
    static bool done = false;
    if (done) return;
    done = true;
    char tmpl[] = "/tmp/tarvel-fuzz-XXXXXX";
    if (mkdtemp(tmpl) == nullptr || chdir(tmpl) != 0) std::abort();
    fatal_set_handler(throw_fatal);
}

inline void write_input(const char* path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path, "wb");
    if (f == nullptr) std::abort();
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

}  // namespace fuzz
