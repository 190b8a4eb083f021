// The texture manager: a table of 256 slots handed out in order, the upload of each slot's
// pixels to OpenGL, the bind cache, and image loading scaled to the texture_detail limit.
#include "resources/texture.h"

#include <GL/glu.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "resources/files.h"

int texture_count = 0;
int bound_texture = -1;
int bound_env_mode = -1;

namespace {

constexpr GLuint NOT_UPLOADED = 0xFFFFFFFFu;

std::unique_ptr<Texture> texture_table[TEXTURE_MAX];

void texture_free(std::unique_ptr<Texture>& t) {
    if (t != nullptr && t->gl_name != NOT_UPLOADED) glDeleteTextures(1, &t->gl_name);
    t.reset();
}

void gl_bind(GLenum target, GLuint name) {
    glBindTexture(target, name);
}
void gl_env_mode(GLint mode) {
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, mode);
}

const char* name_of(const Texture& t) {
    return t.name != nullptr ? t.name : "(blank)";
}

const char* gl_error_text(GLenum error) {
    const GLubyte* text = gluErrorString(error);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "unknown error";
}

unsigned char* pixel_buffer(int width, int height, int components) {
    size_t bytes = texture_row_bytes(width, components) * static_cast<size_t>(height > 0 ? height : 0);
    auto* buffer = static_cast<unsigned char*>(std::malloc(bytes > 0 ? bytes : 1));
    if (buffer == nullptr) fatal_error("Out of memory for a %dx%d texture", width, height);
    return buffer;
}

// One copy loop per pixel size, so the compiler moves 3 or 4 bytes without a length test.
template <int B>
void resample_rows(const unsigned char* src, int src_height, size_t src_pitch, unsigned char* dst,
                   int dst_width, int dst_height, size_t dst_pitch, uint64_t step) {
    uint64_t row_sum = 0;
    for (int i = 0; i < dst_height; ++i, row_sum += static_cast<uint64_t>(src_height)) {
        const unsigned char* row = src + (row_sum / static_cast<uint64_t>(dst_height)) * src_pitch;
        unsigned char* out = dst + static_cast<size_t>(i) * dst_pitch;
        uint64_t x = step >> 1;
        for (int j = 0; j < dst_width; ++j, x += step, out += B) std::memcpy(out, row + (x >> 16) * B, B);
    }
}

}  // namespace

void (*texture_gl_bind)(GLenum target, GLuint name) = gl_bind;
void (*texture_gl_env_mode)(GLint mode) = gl_env_mode;

Texture::~Texture() {
    std::free(name);
    if (image != nullptr) {
        SDL_FreeSurface(image);
    } else {
        std::free(pixels);
    }
}

// --- Pure helpers ---

size_t texture_row_bytes(int width, int components) {
    if (width <= 0 || components <= 0) return 0;
    size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(components);
    return (bytes + 3) & ~static_cast<size_t>(3);
}

int texture_detail_limit(int detail) {
    if (detail < 0) detail = 0;
    if (detail > 5) detail = 5;
    return 128 << detail;
}

int64_t texture_memory_count(int width, int height, int components, bool mipmapped) {
    if (width <= 0 || height <= 0 || components <= 0) return 0;
    if (!mipmapped) return static_cast<int64_t>(width) * height * components;
    int64_t total = 0;
    int64_t w = width;
    int64_t h = height;
    while (w != 1 || h != 1) {
        total += w * h * components;
        if (w > 1) w /= 2;
        if (h > 1) h /= 2;
    }
    return total;
}

GLenum texture_format_choose(int bits_per_pixel, int red_shift, int blue_shift) {
    bool red_first = red_shift < blue_shift;
    if (bits_per_pixel == 24) return red_first ? GL_RGB : GL_BGR_EXT;
    if (bits_per_pixel == 32) return red_first ? GL_RGBA : GL_BGRA_EXT;
    return 0;
}

void texture_resample(const unsigned char* src, int src_width, int src_height, size_t src_pitch,
                      unsigned char* dst, int dst_width, int dst_height, size_t dst_pitch,
                      int bytes_per_pixel) {
    if (src_width <= 0 || src_height <= 0 || dst_width <= 0 || dst_height <= 0) return;
    // 64 bits, so that sides of 32768 pixels and more do not overflow the 16.16 position.
    uint64_t step = (static_cast<uint64_t>(src_width) << 16) / static_cast<uint64_t>(dst_width);
    if (bytes_per_pixel == 3) {
        resample_rows<3>(src, src_height, src_pitch, dst, dst_width, dst_height, dst_pitch, step);
    } else if (bytes_per_pixel == 4) {
        resample_rows<4>(src, src_height, src_pitch, dst, dst_width, dst_height, dst_pitch, step);
    } else if (bytes_per_pixel == 1) {
        resample_rows<1>(src, src_height, src_pitch, dst, dst_width, dst_height, dst_pitch, step);
    }
}

// --- The table ---

Texture* texture_get(int handle) {
    if (handle < 0 || handle >= texture_count) return nullptr;
    return texture_table[handle].get();
}

void texture_table_reset() {
    for (auto& slot : texture_table) slot.reset();
    texture_count = 0;
    texture_unbind_all();
}

void texture_table_truncate(int keep) {
    if (keep < 0) keep = 0;
    for (int i = keep; i < texture_count; ++i) texture_free(texture_table[i]);
    if (texture_count > keep) texture_count = keep;
    texture_unbind_all();
}

TexturePool::~TexturePool() {
    texture_pool_clear(*this);
}

TexturePool& TexturePool::operator=(TexturePool&& other) {
    if (this != &other) {
        texture_pool_clear(*this);
        textures = std::move(other.textures);
        other.textures.clear();
    }
    return *this;
}

TexturePool texture_pool_take(int first) {
    TexturePool pool;
    for (int i = first < 0 ? 0 : first; i < texture_count; ++i)
        if (texture_table[i] != nullptr && texture_table[i]->name != nullptr)
            pool.textures.push_back(std::move(texture_table[i]));
    return pool;
}

void texture_pool_clear(TexturePool& pool) {
    for (auto& t : pool.textures) texture_free(t);
    pool.textures.clear();
}

void texture_pool_forget(TexturePool& pool, const std::function<bool(const char* path)>& changed) {
    for (auto& t : pool.textures)
        if (changed(t->name)) texture_free(t);
    std::erase(pool.textures, nullptr);
}

int texture_new() {
    if (texture_count >= TEXTURE_MAX) fatal_error("Too many textures (limited to %d)", TEXTURE_MAX);
    int handle = texture_count;
    texture_table[handle] = std::make_unique<Texture>();
    texture_table[handle]->gl_name = NOT_UPLOADED;
    texture_set_flags(handle, 0);
    ++texture_count;
    return handle;
}

int texture_create(int width, int height, GLenum format, int components) {
    int handle = texture_new();
    Texture* t = texture_table[handle].get();
    // Contents are left undefined: render targets are filled by copying the frame buffer.
    t->pixels = pixel_buffer(width, height, components);
    t->width = width;
    t->height = height;
    t->format = format;
    t->components = components;
    return handle;
}

void texture_set_flags(int handle, int flags) {
    Texture* t = handle >= 0 && handle < TEXTURE_MAX ? texture_table[handle].get() : nullptr;
    if (t == nullptr) return;
    t->flags = flags;
    t->min_filter = (flags & TEX_NO_MIPMAP) != 0 ? GL_LINEAR : GL_LINEAR_MIPMAP_NEAREST;
    t->wrap = (flags & TEX_CLAMP) != 0 ? GL_CLAMP_TO_EDGE : GL_REPEAT;
    t->env_mode = (flags & TEX_MODULATE) != 0 ? GL_MODULATE : GL_REPLACE;
    t->target = (flags & TEX_1D) != 0 ? GL_TEXTURE_1D : GL_TEXTURE_2D;
    // A 1D texture is sent as level 0 only; a mipmapping filter would leave it incomplete,
    // and GL would then draw as if texturing were off.
    if ((flags & TEX_1D) != 0) t->min_filter = GL_LINEAR;
}

int64_t texture_memory_total() {
    int64_t total = 0;
    for (int i = 0; i < texture_count; ++i) total += texture_table[i]->memory;
    return total;
}

namespace {

// Decodes the file `path` into the record, scaled to the limit of its detail level.
void pixels_from_file(Texture& t, const char* path) {
    SurfacePtr image = texture_decode(path);
    t.width = image->w;
    t.height = image->h;
    t.components = image->format->BytesPerPixel;
    t.pixels = static_cast<unsigned char*>(image->pixels);
    t.image = image.release();
    const SDL_PixelFormat* format = t.image->format;
    t.format = texture_format_choose(format->BitsPerPixel, format->Rshift, format->Bshift);

    int limit = texture_detail_limit(t.detail);
    int width = t.width < limit ? t.width : limit;
    int height = t.height < limit ? t.height : limit;
    size_t pitch = t.image->pitch;
    if (width == t.width && height == t.height && pitch == texture_row_bytes(width, t.components)) return;

    // The decoded rows may carry padding (24-bit rows are 4-byte aligned), so the source is
    // stepped by the image's own pitch.
    unsigned char* scaled = pixel_buffer(width, height, t.components);
    texture_resample(t.pixels, t.width, t.height, pitch, scaled, width, height,
                     texture_row_bytes(width, t.components), t.components);
    SDL_FreeSurface(t.image);
    t.image = nullptr;
    t.pixels = scaled;
    t.width = width;
    t.height = height;
}

// A texture taken back from the pool has given its pixels up at upload: they are decoded
// again when something needs them (another upload, a reader of the pixels).
// A blank texture (a render target) gets a buffer of undefined contents again, as at its
// making: uploads never read a null buffer.
void pixels_restore(Texture& t) {
    if (t.pixels != nullptr) return;
    if (t.name != nullptr) {
        pixels_from_file(t, t.name);
    } else {
        t.pixels = pixel_buffer(t.width, t.height, t.components);
    }
}

void pixels_release(Texture& t) {
    if (t.image != nullptr) {
        SDL_FreeSurface(t.image);
        t.image = nullptr;
    } else {
        std::free(t.pixels);
    }
    t.pixels = nullptr;
}

}  // namespace

// --- OpenGL ---

void texture_upload(int handle) {
    Texture* t = texture_get(handle);
    if (t == nullptr) return;

    GLenum error = glGetError();
    if (error != GL_NO_ERROR)
        fatal_error("Error before upload texture '%s': %s", name_of(*t), gl_error_text(error));
    if (t->gl_name != NOT_UPLOADED) {
        // Uploaded already: again only when a texture taken back from the pool is now wanted
        // with other flags.
        if (t->flags == t->uploaded_flags) {
            if (t->name != nullptr) pixels_release(*t);
            return;
        }
        pixels_restore(*t);
        glDeleteTextures(1, &t->gl_name);
        t->gl_name = NOT_UPLOADED;
    }
    t->uploaded_flags = t->flags;

    bool mipmapped = t->min_filter == GL_LINEAR_MIPMAP_NEAREST;
    t->memory = static_cast<int>(texture_memory_count(t->width, t->height, t->components, mipmapped));

    glGenTextures(1, &t->gl_name);
    glBindTexture(t->target, t->gl_name);
    bound_texture = static_cast<int>(t->gl_name);

    glTexParameteri(t->target, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(t->min_filter));
    glTexParameteri(t->target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(t->target, GL_TEXTURE_WRAP_S, static_cast<GLint>(t->wrap));
    glTexParameteri(t->target, GL_TEXTURE_WRAP_T, static_cast<GLint>(t->wrap));

    GLint glu_error = 0;
    if ((t->flags & TEX_1D) != 0) {
        glTexImage1D(GL_TEXTURE_1D, 0, t->components, t->width, 0, t->format, GL_UNSIGNED_BYTE, t->pixels);
    } else if (!mipmapped) {
        glTexImage2D(GL_TEXTURE_2D, 0, t->components, t->width, t->height, 0, t->format, GL_UNSIGNED_BYTE,
                     t->pixels);
    } else {
        glu_error = gluBuild2DMipmaps(GL_TEXTURE_2D, t->components, t->width, t->height, t->format,
                                      GL_UNSIGNED_BYTE, t->pixels);
    }

    error = glGetError();
    if (error != GL_NO_ERROR)
        fatal_error("Error uploading texture '%s': %s", name_of(*t), gl_error_text(error));
    // GLU reports some failures (a side of 0, an unknown format) only through its result.
    if (glu_error != 0) {
        fatal_error("Error uploading texture '%s': %s", name_of(*t),
                    gl_error_text(static_cast<GLenum>(glu_error)));
    }

    pixels_release(*t);
    texture_unbind_all();
}

void texture_bind(int handle) {
    Texture* t = texture_get(handle);
    if (t == nullptr) return;
    if (t->gl_name != static_cast<GLuint>(bound_texture)) {
        texture_gl_bind(t->target, t->gl_name);
        bound_texture = static_cast<int>(t->gl_name);
    }
    if (static_cast<int>(t->env_mode) != bound_env_mode) {
        texture_gl_env_mode(static_cast<GLint>(t->env_mode));
        bound_env_mode = static_cast<int>(t->env_mode);
    }
}

void texture_unbind_all() {
    bound_texture = -1;
    bound_env_mode = -1;
}

// --- Loading ---

SurfacePtr texture_decode(const char* path) {
    SurfacePtr image(file_image_load(path));
    if (image == nullptr) fatal_error("Error loading '%s': %s", path, SDL_GetError());
    if (image->format->palette != nullptr) fatal_error("Unsupported paletted texture '%s'", path);
    // A picture of no pixels (a TGA header may say width 0) has no pixel buffer at all, which
    // the code reading pixels before upload would not expect.
    if (image->w <= 0 || image->h <= 0 || image->pixels == nullptr)
        fatal_error("Error loading '%s': %s", path, "Empty image");
    const SDL_PixelFormat* format = image->format;
    if (texture_format_choose(format->BitsPerPixel, format->Rshift, format->Bshift) == 0)
        fatal_error("Unsupported format in '%s'", path);
    return image;
}

namespace {

bool stamp_of(const char* path, PictureStamp& stamp) {
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    stamp.size = st.st_size;
    stamp.modified_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.inode = st.st_ino;
    return true;
}

}  // namespace

void texture_check(const char* path) {
    LoadContext* context = load_context();
    std::map<std::string, PictureStamp>* checked = context != nullptr ? context->pictures_checked : nullptr;
    PictureStamp stamp;
    const bool plain = checked != nullptr && stamp_of(path, stamp);
    if (plain) {
        auto found = checked->find(path);
        if (found != checked->end() && found->second == stamp) {
            file_note_opened(path);
            return;
        }
    }
    const int warnings = warning_count();
    texture_decode(path);
    if (plain && warning_count() == warnings) (*checked)[path] = stamp;
}

Texture* texture_with_pixels(int handle) {
    Texture* t = texture_get(handle);
    if (t != nullptr) pixels_restore(*t);
    return t;
}

int texture_load(const char* path, int detail, TexturePool* pool) {
    std::vector<std::unique_ptr<Texture>> none;
    auto& pooled = pool != nullptr ? pool->textures : none;
    for (auto it = pooled.begin(); it != pooled.end(); ++it) {
        if (std::strcmp((*it)->name, path) != 0 || (*it)->detail != detail) continue;
        int handle = texture_new();
        int flags = texture_table[handle]->flags;
        texture_table[handle] = std::move(*it);
        pooled.erase(it);
        // As a fresh load: flags from scratch, the GL texture kept until they differ at upload.
        texture_set_flags(handle, flags);
        return handle;
    }
    int handle = texture_new();
    Texture* t = texture_table[handle].get();
    t->name = strdup(path);
    t->detail = detail;
    pixels_from_file(*t, path);
    return handle;
}
