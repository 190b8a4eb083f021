// The texture table: every image and render target is one of 256 slots, held by its handle.
#pragma once

#include <GL/gl.h>
#include <SDL/SDL.h>

#include <cstdint>

inline constexpr int TEXTURE_MAX = 256;

enum TextureFlags {
    TEX_NO_MIPMAP = 1,
    TEX_CLAMP = 2,
    TEX_MODULATE = 4,
    TEX_1D = 8,
};

struct Texture {
    char* name = nullptr;             // private copy of the file path; null for blank textures
    unsigned char* pixels = nullptr;  // rows waiting for upload
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
};

int texture_new();
int texture_create(int width, int height, GLenum format, int components);
void texture_set_flags(int handle, int flags);
void texture_upload(int handle);
void texture_bind(int handle);
void texture_unbind_all();
int texture_load(const char* path);
int64_t texture_memory_total();

// The record behind a handle (for reading a loaded image's pixels before upload, sizes, ...).
Texture* texture_get(int handle);
extern int texture_count;
