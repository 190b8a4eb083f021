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
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <new>
#include <set>
#include <string>
#include <system_error>
#include <utility>

#include "base/error.h"

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

// --- Declared picture sizes ---

int64_t little16(const unsigned char* p) {
    return p[0] | p[1] << 8;
}
int64_t little32(const unsigned char* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

bool read_exactly(SDL_RWops* stream, unsigned char* out, int n) {
    return SDL_RWread(stream, out, 1, n) == n;
}

// What a header declares: the size, and how many bytes the pixels need when that is known
// from the size alone (-1 otherwise), or for a run-length encoded TGA the most pixels the
// data could encode.
struct Declared {
    int64_t width = 0;
    int64_t height = 0;
    int64_t pixel_bytes = -1;    // uncompressed pixel data needed after data_start
    int64_t rle_pixel_cost = 0;  // TGA run packets: 1 + bytes per pixel for at most 128 pixels
    int64_t data_start = 0;
    int64_t bits = 0;  // per pixel
    bool known = false;
};

Declared tga_declared(SDL_RWops* stream) {
    Declared d;
    unsigned char h[18];
    if (!read_exactly(stream, h, sizeof h)) return d;
    int type = h[2];
    int64_t bytes_per_pixel = (h[16] + 7) / 8;
    if (bytes_per_pixel < 1) bytes_per_pixel = 1;
    int64_t map_bytes = h[1] != 0 ? little16(h + 5) * ((h[7] + 7) / 8) : 0;
    d.width = little16(h + 12);
    d.height = little16(h + 14);
    d.data_start = 18 + h[0] + map_bytes;
    d.bits = h[16];
    d.known = true;
    if (type >= 1 && type <= 3) d.pixel_bytes = d.width * d.height * bytes_per_pixel;
    if (type >= 9 && type <= 11) d.rle_pixel_cost = 1 + bytes_per_pixel;
    return d;
}

Declared bmp_declared(SDL_RWops* stream) {
    Declared d;
    unsigned char h[34];
    if (!read_exactly(stream, h, 18)) return d;
    d.data_start = little32(h + 10) & 0xFFFFFFFFLL;
    int64_t info_size = little32(h + 14) & 0xFFFFFFFFLL;
    int64_t bits = 0;
    int64_t compression = 0;
    if (info_size == 12) {  // the old OS/2 header: 16-bit sizes
        if (!read_exactly(stream, h + 18, 8)) return d;
        d.width = little16(h + 18);
        d.height = little16(h + 20);
        bits = little16(h + 24);
    } else {
        if (!read_exactly(stream, h + 18, 16)) return d;
        d.width = little32(h + 18);
        d.height = little32(h + 22);
        bits = little16(h + 28);
        compression = little32(h + 30) & 0xFFFFFFFFLL;
    }
    // A negative height means rows stored top first.
    if (d.width < 0) d.width = -d.width;
    if (d.height < 0) d.height = -d.height;
    d.bits = bits;
    d.known = true;
    if ((compression == 0 || compression == 3) && bits > 0 && bits <= 32) {
        int64_t pitch = (d.width * bits + 31) / 32 * 4;
        d.pixel_bytes = pitch * d.height;
    }
    return d;
}

// Walks the markers up to the first frame header. Segments are skipped by their lengths, so
// large metadata ahead of the frame costs only seeks.
Declared jpeg_declared(SDL_RWops* stream) {
    Declared d;
    unsigned char b[5];
    if (!read_exactly(stream, b, 2) || b[0] != 0xFF || b[1] != 0xD8) return d;
    for (int markers = 0; markers < 10000; ++markers) {
        if (!read_exactly(stream, b, 1)) return d;
        if (b[0] != 0xFF) continue;  // not at a marker: look further
        int marker = 0xFF;
        while (marker == 0xFF) {
            if (!read_exactly(stream, b, 1)) return d;
            marker = b[0];
        }
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;
        if (marker == 0xD9 || marker == 0xDA) return d;  // no frame before the image data
        if (!read_exactly(stream, b, 2)) return d;
        int64_t length = b[0] << 8 | b[1];
        if (length < 2) return d;
        bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (!read_exactly(stream, b, 5)) return d;
            d.height = b[1] << 8 | b[2];
            d.width = b[3] << 8 | b[4];
            d.known = true;
            return d;
        }
        if (SDL_RWseek(stream, static_cast<int>(length - 2), RW_SEEK_CUR) < 0) return d;
    }
    return d;
}

Declared png_declared(SDL_RWops* stream) {
    Declared d;
    unsigned char h[24];
    if (!read_exactly(stream, h, sizeof h) || std::memcmp(h + 12, "IHDR", 4) != 0) return d;
    auto big32 = [](const unsigned char* p) {
        return static_cast<int64_t>(static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                                    static_cast<uint32_t>(p[2]) << 8 | p[3]);
    };
    d.width = big32(h + 16);
    d.height = big32(h + 20);
    d.known = true;
    return d;
}

// The format a name's extension claims, or null for any other name.
const char* named_format(const char* path) {
    const char* dot = std::strrchr(path, '.');
    if (dot == nullptr || std::strchr(dot, '/') != nullptr) return nullptr;
    static const struct {
        const char* extension;
        const char* format;
    } names[] = {{"tga", "TGA"}, {"png", "PNG"}, {"jpg", "JPEG"}, {"jpeg", "JPEG"}, {"bmp", "BMP"}};
    for (const auto& n : names) {
        if (strcasecmp(dot + 1, n.extension) == 0) return n.format;
    }
    return nullptr;
}

// Paletted (and grey, which the image library hands over with a grey palette) 8-bit pictures
// become RGB, or RGBA when the palette's transparent entry is set as the colour key.
SDL_Surface* palette_expanded(SDL_Surface* src) {
    if (src->format->BitsPerPixel != 8 || src->format->palette == nullptr) {
        SDL_SetError("Unsupported paletted depth (%d bits)", src->format->BitsPerPixel);
        return nullptr;
    }
    bool keyed = (src->flags & SDL_SRCCOLORKEY) != 0;
    int channels = keyed ? 4 : 3;
    // Byte order R, G, B, A in memory on this little-endian platform.
    SDL_Surface* out = SDL_CreateRGBSurface(SDL_SWSURFACE, src->w, src->h, channels * 8, 0x0000FF, 0x00FF00,
                                            0xFF0000, keyed ? 0xFF000000u : 0);
    if (out == nullptr) return nullptr;
    const SDL_Palette* palette = src->format->palette;
    for (int y = 0; y < src->h; ++y) {
        const auto* in = static_cast<const unsigned char*>(src->pixels) + static_cast<size_t>(y) * src->pitch;
        auto* row = static_cast<unsigned char*>(out->pixels) + static_cast<size_t>(y) * out->pitch;
        for (int x = 0; x < src->w; ++x, row += channels) {
            unsigned index = in[x];
            SDL_Color c =
                index < static_cast<unsigned>(palette->ncolors) ? palette->colors[index] : SDL_Color{};
            row[0] = c.r;
            row[1] = c.g;
            row[2] = c.b;
            if (keyed) row[3] = index == src->format->colorkey ? 0 : 255;
        }
    }
    return out;
}
}  // namespace

zzip_strings_t* const file_extensions = extension_list;

std::string image_header_problem(SDL_RWops* stream, ImageKind kind) {
    int start = SDL_RWseek(stream, 0, RW_SEEK_CUR);
    int size = SDL_RWseek(stream, 0, RW_SEEK_END);
    if (start < 0 || size < 0 || SDL_RWseek(stream, start, RW_SEEK_SET) < 0) return "";
    Declared d = kind == ImageKind::Tga   ? tga_declared(stream)
                 : kind == ImageKind::Bmp ? bmp_declared(stream)
                 : kind == ImageKind::Png ? png_declared(stream)
                                          : jpeg_declared(stream);
    SDL_RWseek(stream, start, RW_SEEK_SET);
    if (!d.known) return "";
    if (d.width * d.height > IMAGE_MAX_PIXELS) {
        return "Image too large (" + std::to_string(d.width) + "x" + std::to_string(d.height) + ")";
    }
    // The image library sizes its buffer from the depth as well; no format stores more than
    // 32 bits a pixel.
    if (d.bits > 32) return "Unsupported pixel depth (" + std::to_string(d.bits) + " bits)";
    int64_t data = static_cast<int64_t>(size - start) - d.data_start;
    if (d.pixel_bytes >= 0 && data < d.pixel_bytes) return "Image data cut short";
    if (d.rle_pixel_cost > 0 && (data < 0 || d.width * d.height > data / d.rle_pixel_cost * 128))
        return "Image data cut short";
    return "";
}

namespace {
// The error machinery's way: scopes nest, the innermost is in force.
LoadContext* context_in_force = nullptr;
}  // namespace

LoadScope::LoadScope(LoadContext& context) : outer_(context_in_force) {
    context_in_force = &context;
}

LoadScope::~LoadScope() {
    context_in_force = outer_;
}

LoadContext* load_context() {
    return context_in_force;
}

void file_note_opened(const std::string& path) {
    if (context_in_force != nullptr) context_in_force->opened.insert(path);
}

ZZIP_FILE* file_open(const char* path) {
    ZZIP_FILE* file = zzip_open_ext_io(path, O_RDONLY, 0664, file_extensions, file_io());
    if (file != nullptr) file_note_opened(path);
    return file;
}

ZZIP_DIR* dir_open(const char* path) {
    return zzip_opendir_ext_io(path, 0, file_extensions, file_io());
}

bool file_exists(const char* path) {
    ZzipFile f(file_open(path));
    return f != nullptr;
}

std::string file_archive_folder(const std::string& path) {
    for (zzip_strings_t* ext = extension_list; *ext != nullptr; ++ext) {
        const size_t n = std::strlen(*ext);
        if (n > 0 && path.size() > n && path.compare(path.size() - n, n, *ext) == 0)
            return path.substr(0, path.size() - n);
    }
    return path;
}

bool file_walk_more(size_t read) {
    FileWalkBound* bound = context_in_force != nullptr ? context_in_force->walk_bound : nullptr;
    if (bound == nullptr || read < bound->entries) return true;
    bound->cut = true;
    return false;
}

std::vector<std::string> file_list(size_t limit) {
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    std::set<std::string> plain;
    std::vector<std::pair<std::string, std::string>> archives;  // file, folder it stands for
    std::error_code error;
    fs::recursive_directory_iterator it(".", fs::directory_options::skip_permission_denied, error), end;
    size_t walked = 0;
    for (; !error && it != end && files.size() < limit && walked < 100000 && file_walk_more(walked++);
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.front() == '.') {
            if (it->is_directory(error)) it.disable_recursion_pending();
            continue;
        }
        if (!it->is_regular_file(error)) continue;
        const std::string relative = it->path().lexically_normal().string();
        files.push_back(relative);
        plain.insert(relative);
        // A name with an archive extension, or a bare one without any extension, may be an archive.
        const std::string folder = file_archive_folder(relative);
        if (folder != relative || relative.find('.') == std::string::npos)
            archives.emplace_back(relative, folder);
    }
    // What each archive holds, under the folder it stands for; a plain file of the same path wins.
    for (const auto& [file, folder] : archives) {
        if (files.size() >= limit) break;
        ZzipDir dir(dir_open(file.c_str()));
        if (dir == nullptr || zzip_dir_real(dir.get()) != 0) continue;
        while (const ZZIP_DIRENT* entry = zzip_readdir(dir.get())) {
            if (!file_walk_more(walked++)) break;
            const std::string inside = entry->d_name;
            if (inside.empty() || inside.back() == '/' || files.size() >= limit) continue;
            const std::string path = folder + "/" + inside;
            if (plain.insert(path).second) files.push_back(path);
        }
    }
    return files;
}

bool file_read_all(ZZIP_FILE* file, std::vector<unsigned char>& data, size_t limit) {
    // An archive entry's size is what its header claims, so the file is read to its real end in
    // chunks instead of being sized first: a few bytes claiming a gigabyte cost a few bytes.
    data.clear();
    unsigned char buffer[65536];
    for (;;) {
        zzip_ssize_t n = zzip_read(file, buffer, sizeof buffer);
        if (n < 0) return false;
        if (n == 0) return true;
        if (static_cast<size_t>(n) > limit - data.size()) {
            errno = EFBIG;
            return false;
        }
        data.insert(data.end(), buffer, buffer + n);
    }
}

SDL_Surface* file_image_load(const char* path) {
    // The file is read whole first: the decoders then read from memory instead of making a
    // call through the archive layer for every few bytes.
    std::vector<unsigned char> data;
    {
        ZzipFile file(file_open(path));
        if (file == nullptr) {
            SDL_SetError("Couldn't open %s", path);
            return nullptr;
        }
        bool whole = false;
        try {
            whole = file_read_all(file.get(), data);
        } catch (const std::bad_alloc&) {
            SDL_SetError("Out of memory reading %s", path);
            return nullptr;
        }
        if (!whole) {
            if (errno == EFBIG) {
                SDL_SetError("%s is larger than %d MB", path, static_cast<int>(FILE_READ_MAX >> 20));
            } else {
                SDL_SetError("Couldn't read %s", path);
            }
            return nullptr;
        }
        if (data.size() > static_cast<size_t>(INT_MAX)) {
            SDL_SetError("%s is too large for a picture", path);
            return nullptr;
        }
    }
    SDL_RWops* stream = SDL_RWFromConstMem(data.data(), static_cast<int>(data.size()));
    if (stream == nullptr) return nullptr;

    // Only the four formats demos use are accepted, even when the image library knows more.
    SDL_ClearError();
    SDL_Surface* image = nullptr;
    auto decode = [&](ImageKind kind, SDL_Surface* (*load)(SDL_RWops*)) {
        std::string problem = image_header_problem(stream, kind);
        if (problem.empty()) {
            image = load(stream);
        } else {
            SDL_SetError("%s", problem.c_str());
        }
    };
    const char* named = named_format(path);
    const char* content = IMG_isPNG(stream)   ? "PNG"
                          : IMG_isJPG(stream) ? "JPEG"
                          : IMG_isBMP(stream) ? "BMP"
                                              : nullptr;
    // Pictures saved under the wrong extension are common (a BMP named .jpg): they are read by
    // their content, with a word about it.
    if (named != nullptr && content != nullptr && std::strcmp(named, content) != 0)
        warning_message("'%s' holds a %s picture, not %s as its name says; read as %s", path, content, named,
                        content);
    if (named != nullptr && content == nullptr && std::strcmp(named, "TGA") != 0) {
        SDL_SetError("Not a %s picture", named);
    } else if (content == nullptr && named == nullptr) {
        SDL_SetError("Unsupported image format");
    } else if (content == nullptr) {
        decode(ImageKind::Tga, IMG_LoadTGA_RW);
    } else if (std::strcmp(content, "PNG") == 0) {
        decode(ImageKind::Png, IMG_LoadPNG_RW);
        if (image != nullptr && image->format->palette != nullptr) {
            SurfacePtr indexed(image);
            image = palette_expanded(indexed.get());
        }
    } else if (std::strcmp(content, "JPEG") == 0) {
        decode(ImageKind::Jpeg, IMG_LoadJPG_RW);
    } else {
        decode(ImageKind::Bmp, IMG_LoadBMP_RW);
    }
    SDL_RWclose(stream);
    if (image == nullptr && *SDL_GetError() == '\0') SDL_SetError("Corrupt image data");
    return image;
}
