// tarvel --lsp: a language server for editors, on standard input and output. Messages are
// JSON-RPC 2.0 bodies behind "Content-Length" headers. It checks the open scripts as they stand
// in the editor (never writing the user's files), lists their sections and completes section
// types, settings and section keywords.
#pragma once

// Serves until "exit" or the end of the input; returns the exit status (0 after "shutdown").
int lsp_run();
// The same server on any pair of descriptors (the fuzz harness's); it may change the working
// directory to the folder it serves.
int lsp_serve(int in_fd, int out_fd);
