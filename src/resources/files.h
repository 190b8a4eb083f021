// Archive-aware file access: every read of demo data goes through here, so a path is found
// as a plain file or inside a zip archive standing in for a directory ("data/x.tga" inside
// data.dat, data.DAT, data.zip, data.ZIP or a bare "data" archive). A plain file wins.
#pragma once

#include <SDL/SDL.h>
#include <zzip/zzip.h>

#include <memory>
#include <string>

// The archive extensions, in the order tried; zziplib's list form (null-terminated).
extern zzip_strings_t* const file_extensions;

// Opens a file for reading through the archive-aware layer; null when not found.
ZZIP_FILE* file_open(const char* path);

// Opens a directory, or an archive standing for one; null when neither.
ZZIP_DIR* dir_open(const char* path);

// True when the path opens as a file through the layer (plain or inside an archive).
bool file_exists(const char* path);

// Owners that close the handles on every path.
struct ZzipFileCloser {
    void operator()(ZZIP_FILE* f) const {
        if (f != nullptr) zzip_fclose(f);
    }
};
struct ZzipDirCloser {
    void operator()(ZZIP_DIR* d) const {
        if (d != nullptr) zzip_closedir(d);
    }
};
using ZzipFile = std::unique_ptr<ZZIP_FILE, ZzipFileCloser>;
using ZzipDir = std::unique_ptr<ZZIP_DIR, ZzipDirCloser>;
