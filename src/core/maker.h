// The maker's mode (--watch): plays the demo and rebuilds it whenever one of its files changes,
// with the window, GL context and sound device kept open; errors are shown instead of ending the
// program; time is controlled by keys and by commands read on standard input.
#pragma once

struct CliOptions;

// Runs until Escape, a closed window or "quit"; returns the exit status (the scripts must not
// have been read yet: the maker's mode reads them itself, and again on every reload).
int maker_run(const CliOptions& options);
