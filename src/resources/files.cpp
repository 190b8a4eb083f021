// zziplib behind one extension list for every open and directory listing, and the SDL stream
// that lets the image library read through it.
#include "resources/files.h"

#include <SDL/SDL_image.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zzip/plugin.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstring>

namespace {
zzip_strings_t extension_list[] = {"", ".dat", ".DAT", ".zip", ".ZIP", nullptr};

// The bare name comes first in the extension list, so for "data/x.tga" zziplib first opens
// "data" itself as the would-be archive. When that is a directory it is not a zip, and zziplib
// would stop there without trying "data.dat" and the rest: the files packed in the archive
// would be lost whenever a directory of the same name exists. Refusing to open directories
// lets the search go on.
int open_non_directory(zzip_char_t* name, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, int));
        va_end(args);
    }
    int fd = ::open(name, flags, mode);
    if (fd < 0) return fd;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return -1;
    }
    return fd;
}

zzip_plugin_io_t file_io() {
    static zzip_plugin_io_handlers io = [] {
        zzip_plugin_io_handlers handlers;
        zzip_init_io(&handlers, 0);
        handlers.fd.open = open_non_directory;
        return handlers;
    }();
    return &io;
}

ZZIP_FILE* stream_file(SDL_RWops* context) {
    return static_cast<ZZIP_FILE*>(context->hidden.unknown.data1);
}

int SDLCALL stream_seek(SDL_RWops* context, int offset, int whence) {
    zzip_off_t at = zzip_seek(stream_file(context), offset, whence);
    if (at < 0) return -1;
    return at > INT_MAX ? INT_MAX : static_cast<int>(at);
}

// SDL counts whole objects, like fread; a partly read object is not counted.
int SDLCALL stream_read(SDL_RWops* context, void* buffer, int size, int count) {
    if (size <= 0 || count <= 0) return 0;
    zzip_ssize_t got = zzip_read(stream_file(context), buffer, static_cast<zzip_size_t>(size) * count);
    if (got < 0) {
        SDL_SetError("Error reading from datastream");
        return -1;
    }
    return static_cast<int>(got / size);
}

int SDLCALL stream_write(SDL_RWops*, const void*, int, int) {
    return 0;
}

int SDLCALL stream_close(SDL_RWops* context) {
    if (context == nullptr) return 0;
    zzip_fclose(stream_file(context));
    SDL_FreeRW(context);
    return 0;
}

bool is_tga_type(const char* path) {
    const char* dot = std::strrchr(path, '.');
    return dot != nullptr && strcasecmp(dot + 1, "tga") == 0;
}
}  // namespace

zzip_strings_t* const file_extensions = extension_list;

ZZIP_FILE* file_open(const char* path) {
    return zzip_open_ext_io(path, O_RDONLY, 0664, file_extensions, file_io());
}

ZZIP_DIR* dir_open(const char* path) {
    return zzip_opendir_ext_io(path, 0, file_extensions, file_io());
}

bool file_exists(const char* path) {
    ZzipFile f(file_open(path));
    return f != nullptr;
}

SDL_RWops* file_rwops_open(const char* path, const char* mode) {
    if (std::strchr(mode, 'r') == nullptr) return SDL_RWFromFile(path, mode);

    ZzipFile file(file_open(path));
    if (file == nullptr) {
        SDL_SetError("Couldn't open %s", path);
        return nullptr;
    }
    SDL_RWops* stream = SDL_AllocRW();
    if (stream == nullptr) {
        file.reset();  // closed first, so that closing cannot change errno
        errno = ENOMEM;
        return nullptr;
    }
    stream->seek = stream_seek;
    stream->read = stream_read;
    stream->write = stream_write;
    stream->close = stream_close;
    stream->hidden.unknown.data1 = file.release();
    return stream;
}

SDL_Surface* file_image_load(const char* path) {
    SDL_RWops* stream = file_rwops_open(path, "rb");
    if (stream == nullptr) return nullptr;

    // Only the three formats demos use are accepted, even when the image library knows more.
    SDL_ClearError();
    SDL_Surface* image = nullptr;
    if (IMG_isJPG(stream)) {
        image = IMG_LoadJPG_RW(stream);
    } else if (IMG_isBMP(stream)) {
        image = IMG_LoadBMP_RW(stream);
    } else if (is_tga_type(path)) {
        image = IMG_LoadTGA_RW(stream);
    } else {
        SDL_SetError("Unsupported image format");
    }
    SDL_RWclose(stream);
    if (image == nullptr && *SDL_GetError() == '\0') SDL_SetError("Corrupt image data");
    return image;
}
