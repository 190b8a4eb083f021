// A problem found in a demo: an error the player would stop at, a warning about something it
// accepts but that is almost always a mistake, or a hint on the cause of the error before it.
#pragma once

#include <string>

enum class Severity { Error, Warning, Hint };

struct CheckProblem {
    std::string script;  // the script as discovery names it, or the file concerned; "" for none
    int line = 0;        // 0 when the problem is about no line
    Severity severity = Severity::Error;
    std::string message;
};
