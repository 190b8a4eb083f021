// zziplib behind one extension list for every open and directory listing.
#include "resources/files.h"

#include <fcntl.h>

namespace {
zzip_strings_t extension_list[] = {"", ".dat", ".DAT", ".zip", ".ZIP", nullptr};
}  // namespace

zzip_strings_t* const file_extensions = extension_list;

ZZIP_FILE* file_open(const char* path) { return zzip_open_ext_io(path, O_RDONLY, 0664, file_extensions, nullptr); }

ZZIP_DIR* dir_open(const char* path) { return zzip_opendir_ext_io(path, 0, file_extensions, nullptr); }

bool file_exists(const char* path) {
    ZzipFile f(file_open(path));
    return f != nullptr;
}
