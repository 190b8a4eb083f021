// "--help" for the media generators: the usage line on standard output, and the tool stops
// (instead of taking "--help" for a file name).
#pragma once

#include <cstdio>
#include <cstring>

inline bool tool_help(int argc, char** argv, const char* usage) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("usage: %s\n", usage);
            return true;
        }
    }
    return false;
}
