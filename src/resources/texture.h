// The texture table: every image and render target is one of 256 slots, held by its handle.
// Textures are made while the script loads, uploaded once, bound through a two-value cache and
// freed when the demo is torn down (or at exit).
#pragma once

#include <GL/gl.h>
#include <SDL/SDL.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "resources/files.h"

inline constexpr int TEXTURE_MAX = 256;

enum TextureFlags {
    TEX_NO_MIPMAP = 1,
    TEX_CLAMP = 2,
    TEX_MODULATE = 4,
    TEX_1D = 8,
};

// Rows of `pixels` always start on 4-byte boundaries (texture_row_bytes), for decoded,
// resampled and blank textures alike, since uploads use GL's default unpack alignment.
struct Texture {
    Texture() = default;
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;
    ~Texture();

    char* name = nullptr;             // private copy of the file path; null for blank textures
    unsigned char* pixels = nullptr;  // rows waiting for upload (malloc'd unless `image` owns them)
    SDL_Surface* image = nullptr;     // decoded file owning `pixels`, when set
    GLuint gl_name = 0xFFFFFFFFu;     // all bits set until uploaded
    int memory = 0;
    int width = 0;
    int height = 0;
    int components = 0;
    GLenum format = 0;
    GLenum target = GL_TEXTURE_2D;
    int flags = 0;
    GLenum min_filter = 0;
    GLenum wrap = 0;
    GLenum env_mode = 0;
    int uploaded_flags = 0;  // the flags the GL texture was made with
    int detail = 0;          // texture_detail when the file was loaded
};

int texture_new();
int texture_create(int width, int height, GLenum format, int components);
void texture_set_flags(int handle, int flags);
void texture_upload(int handle);
void texture_bind(int handle);
void texture_unbind_all();
struct TexturePool;
// A texture of the picture at `path`, scaled to the limit of the `detail` level (the demo's
// texture_detail), taken back from `pool` when it holds one of that file and detail level.
int texture_load(const char* path, int detail, TexturePool* pool = nullptr);
// The decoding and refusals of texture_load without a texture slot: the picture, ready to use,
// or a fatal error worded as texture_load words it.
SurfacePtr texture_decode(const char* path);

// texture_decode for its refusals only, passing over the pictures the load context in force
// found good before (LoadContext::pictures_checked). A picture that drew a warning is not kept,
// so that the warning comes every time; one inside an archive is decoded every time.
void texture_check(const char* path);
int64_t texture_memory_total();

// The record behind a handle (for reading a loaded image's pixels before upload, sizes, ...);
// null for a handle that names no slot. The other operations ignore such handles.
Texture* texture_get(int handle);
// The same, with its pixels: a texture taken back from the pool gave them up at upload, and
// has its file decoded again (a fatal error when that fails, as at its first load).
Texture* texture_with_pixels(int handle);
extern int texture_count;

// The bind cache: GL name and environment mode last set through texture_bind (-1: none).
extern int bound_texture;
extern int bound_env_mode;

// The GL calls texture_bind makes, replaceable so that tests can count them.
extern void (*texture_gl_bind)(GLenum target, GLuint name);
extern void (*texture_gl_env_mode)(GLint mode);

// Empties the table without touching GL; tests start from an empty table.
void texture_table_reset();

// Textures kept from a demo being torn down, for the next one to take back instead of reading
// and decoding their files again: texture_pool_take moves every slot from `first` on that a file
// filled into a pool (the slots are emptied, not yet freed); texture_pool_forget drops the ones
// whose file `changed` says yes to; texture_load takes a pooled texture of the same file and
// detail level (its pixels decoded again only when an upload with other flags or a reader
// needs them); texture_pool_clear, and the pool's end, free what nobody took, GL names included.
struct TexturePool {
    TexturePool() = default;
    TexturePool(TexturePool&&) = default;
    TexturePool& operator=(TexturePool&& other);
    ~TexturePool();
    std::vector<std::unique_ptr<Texture>> textures;
};
TexturePool texture_pool_take(int first);
void texture_pool_forget(TexturePool& pool, const std::function<bool(const char* path)>& changed);
void texture_pool_clear(TexturePool& pool);

// Frees every slot from `keep` on, GL names included, so that handles from `keep` are handed
// out again: a demo torn down gives back its textures while the frame targets made before it
// stay.
void texture_table_truncate(int keep);

// --- Pure helpers (no GL) ---

// Bytes from one pixel row to the next: width x components rounded up to a multiple of 4.
size_t texture_row_bytes(int width, int components);

// The largest side allowed for a loaded image at a `texture_detail` level; levels below 0 act
// as 0 and levels above 5 as 5.
int texture_detail_limit(int detail);

// Bytes counted for a texture at upload: every mipmap level down to (not including) 1x1 when
// mipmapped, else the base level.
int64_t texture_memory_count(int width, int height, int components, bool mipmapped);

// GL_RGB/GL_BGR_EXT for 24 bits, GL_RGBA/GL_BGRA_EXT for 32 bits, chosen by whether red lies
// in a lower-addressed byte than blue; 0 for any other depth.
GLenum texture_format_choose(int bits_per_pixel, int red_shift, int blue_shift);

// Nearest-neighbour scaling in 16.16 fixed point: columns sampled at pixel centres, rows at
// their top edge. Pitches are the byte distances between rows of each image.
void texture_resample(const unsigned char* src, int src_width, int src_height, size_t src_pitch,
                      unsigned char* dst, int dst_width, int dst_height, size_t dst_pitch,
                      int bytes_per_pixel);
