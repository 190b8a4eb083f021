// Archive-aware file access: every read of demo data goes through here, so a path is found
// as a plain file or inside a zip archive standing in for a directory ("data/x.tga" inside
// data.dat, data.DAT, data.zip, data.ZIP or a bare "data" archive). A plain file wins.
#pragma once

#include <SDL/SDL.h>
#include <zzip/zzip.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

// The archive extensions, in the order tried; zziplib's list form (null-terminated).
extern zzip_strings_t* const file_extensions;

// Opens a file for reading through the archive-aware layer; null when not found.
ZZIP_FILE* file_open(const char* path);

// A plain file's size, modification time and inode: what tells a check that a picture it found
// good has not changed since.
struct PictureStamp {
    int64_t size = 0;
    int64_t modified_ns = 0;
    uint64_t inode = 0;
    bool operator==(const PictureStamp&) const = default;
};

// A bound on every walk of the demo folder (script discovery, the checker's list of unused
// files, file_list), for a caller that must answer in a bounded time whatever folder it is
// given: no walk reads more than `entries` directory entries (an archive's included), and one
// that stops short sets `cut`.
struct FileWalkBound {
    size_t entries = 0;
    bool cut = false;
};

// What one load or one check collects through the file layer, and what it brings to it: the
// files it opened (the maker watches them, the checker looks for the files nothing opened), the
// pictures found good by earlier checks and a bound on its walks of the folder. The load or
// check makes one and puts it in force for its span with a LoadScope; without one in force
// nothing is collected and nothing bounded.
struct LoadContext {
    std::set<std::string> opened;  // every path file_open opened, as given
    // When set, the pictures texture_check found good, by path: one whose plain file keeps its
    // stamp is not decoded again (a language server checks the whole demo on every change).
    std::map<std::string, PictureStamp>* pictures_checked = nullptr;
    // When set, bounds every walk made while the context is in force; while null (the player,
    // --check) each walk reads the whole folder.
    FileWalkBound* walk_bound = nullptr;
};

// Puts a context in force until the scope ends; the one in force before comes back then, so a
// check run in the middle of a load collects apart from it.
class LoadScope {
  public:
    explicit LoadScope(LoadContext& context);
    ~LoadScope();
    LoadScope(const LoadScope&) = delete;
    LoadScope& operator=(const LoadScope&) = delete;

  private:
    LoadContext* outer_;
};

// The context in force, or null.
LoadContext* load_context();

// Counts `path` as opened by the context in force: a text standing in for a file, a picture
// passed over as unchanged.
void file_note_opened(const std::string& path);

// The most bytes the player reads of one file: pictures, meshes and music (FILE_READ_MAX), and
// scripts and splines (FILE_TEXT_MAX, lower since every short line becomes a record several times
// its size). Far above what a demo holds; a file past them, or an archive entry unpacking past
// them, is refused instead of filling the memory.
inline constexpr size_t FILE_READ_MAX = 256u << 20;
inline constexpr size_t FILE_TEXT_MAX = 8u << 20;

// Reads the rest of an open file into `data`, to its real end (never trusting the size an archive
// entry claims); false when it cannot be read in full, or with errno EFBIG past `limit` bytes.
bool file_read_all(ZZIP_FILE* file, std::vector<unsigned char>& data, size_t limit = FILE_READ_MAX);

// Opens a directory, or an archive standing for one; null when neither.
ZZIP_DIR* dir_open(const char* path);

// True when the path opens as a file through the layer (plain or inside an archive).
bool file_exists(const char* path);

// The folder an archive at `path` stands for: the path without its archive extension (.dat,
// .DAT, .zip, .ZIP); a path without one is returned whole, as a bare archive stands for a folder
// of its own name.
std::string file_archive_folder(const std::string& path);

// Every file under the working directory by the path the layer opens it with ("data/x.tga",
// also for x.tga inside data.zip), hidden entries left out; at most `limit`, in no set order.
std::vector<std::string> file_list(size_t limit);

// Whether a walk that has read `read` entries may read one more under the bound of the context
// in force; when not, the bound is cut.
bool file_walk_more(size_t read);

// Pictures larger than this many pixels are refused before decoding: the image library
// allocates a whole picture from its header alone, before reading a single pixel, so a few
// bytes claiming 30000 x 30000 pixels would cost gigabytes. 8192 x 8192 is twice the largest
// texture side each way (larger pictures could only be scaled down).
inline constexpr long long IMAGE_MAX_PIXELS = 8192LL * 8192LL;

enum class ImageKind { Tga, Bmp, Jpeg, Png };

// Reads the size a TGA, BMP, JPEG or PNG header declares and returns what is wrong with it before
// any decoding: "Image too large (WxH)" past IMAGE_MAX_PIXELS, "Unsupported pixel depth (N bits)"
// past 32 bits a pixel, or "Image data cut short" when
// the file is too short to hold the pixels an uncompressed (or run-length encoded TGA) picture
// declares. "" when the picture may be decoded, including headers it cannot read (the image
// library then reports those). The stream is left at its start.
std::string image_header_problem(SDL_RWops* stream, ImageKind kind);

// Decodes an image file found through the layer: PNG, JPEG and BMP by their content, TGA by a
// "tga" extension (any case) after the last '.'. A name ending in another format's extension
// (tga, png, jpg, jpeg, bmp) than the content's gets a warning naming both; a name ending in
// png, jpg, jpeg or bmp whose content is none of the three is refused ("Not a PNG picture").
// Paletted and grey PNG pictures come out as 24-bit RGB, or 32-bit RGBA when a palette entry is
// transparent. Null on failure, with the SDL error text set ("Unsupported image format" for
// anything else, or what image_header_problem found).
SDL_Surface* file_image_load(const char* path);

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

struct SurfaceFreer {
    void operator()(SDL_Surface* s) const {
        if (s != nullptr) SDL_FreeSurface(s);
    }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceFreer>;
