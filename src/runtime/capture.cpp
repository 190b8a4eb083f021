// Screenshots, recorded frames and the TGA writer with its run-length coder.
#include "runtime/capture.h"

#include <GL/gl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "gfx/window.h"
#include "base/error.h"
#include "runtime/sequencer.h"
#include "resources/files.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f != nullptr) std::fclose(f);
    }
};
using StdioFile = std::unique_ptr<std::FILE, FileCloser>;

bool same_pixel(const uint8_t* rgb, size_t a, size_t b) {
    return std::memcmp(rgb + a * 3, rgb + b * 3, 3) == 0;
}

void put_bgr(std::vector<uint8_t>& out, const uint8_t* pixel) {
    out.push_back(pixel[2]);
    out.push_back(pixel[1]);
    out.push_back(pixel[0]);
}

// Reads a rectangle of the back buffer into `pixels` as RGB (or, for `format` GL_BGR, BGR) rows,
// bottom row first. Rows are packed tightly (alignment 1) so that any width works; the caller's
// pack alignment is restored. False, with errno set, for no size or when the memory could not
// be had.
bool read_pixels_into(std::vector<uint8_t>& pixels, int width, int height, GLenum format = GL_RGB) {
    if (width <= 0 || height <= 0) {
        errno = EINVAL;
        return false;
    }
    try {
        pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return false;
    }
    GLint alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, format, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    return true;
}

// Writes `bytes` of `data` after the header to `path`. A file that cannot be created or written
// whole returns false with errno telling why; a regular file cut short is removed.
bool file_write_whole(const char* path, const uint8_t* header, size_t header_size, const uint8_t* data,
                      size_t bytes) {
    StdioFile file(std::fopen(path, "wb"));
    if (!file) return false;
    bool ok = std::fwrite(header, 1, header_size, file.get()) == header_size &&
              std::fwrite(data, 1, bytes, file.get()) == bytes;
    int write_error = ok ? 0 : errno;
    struct stat st;
    bool regular = fstat(fileno(file.get()), &st) == 0 && S_ISREG(st.st_mode);
    std::FILE* raw = file.release();
    if (std::fclose(raw) != 0 && ok) {
        ok = false;
        write_error = errno;
    }
    if (ok) return true;
    // Only a regular file is ours to remove: a path naming a device stays.
    if (regular) unlink(path);
    errno = write_error != 0 ? write_error : EIO;
    return false;
}

// The recorded frame, kept from frame to frame.
std::vector<uint8_t> frame_pixels;

bool screenshot_wanted = false;
bool record_without_folder = false;

}  // namespace

std::array<uint8_t, TGA_HEADER_SIZE> tga_header(int width, int height, bool compressed) {
    std::array<uint8_t, TGA_HEADER_SIZE> h{};
    h[2] = compressed ? 10 : 2;
    h[12] = static_cast<uint8_t>(width & 0xFF);
    h[13] = static_cast<uint8_t>((width >> 8) & 0xFF);
    h[14] = static_cast<uint8_t>(height & 0xFF);
    h[15] = static_cast<uint8_t>((height >> 8) & 0xFF);
    h[16] = 24;
    h[17] = 0;
    return h;
}

std::vector<uint8_t> tga_rle_encode(const uint8_t* rgb, size_t pixel_count) {
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < pixel_count) {
        size_t count = 1;
        if (i + 1 < pixel_count && same_pixel(rgb, i, i + 1)) {
            while (i + count < pixel_count && count < TGA_PACKET_MAX && same_pixel(rgb, i, i + count))
                ++count;
            out.push_back(static_cast<uint8_t>((count - 1) | 0x80));
            put_bgr(out, rgb + i * 3);
        } else {
            // The raw packet stops before a pixel that equals its successor: that pair opens the
            // next run. The picture's last pixel counts as differing from what follows.
            while (i + count < pixel_count && count < TGA_PACKET_MAX &&
                   (i + count + 1 >= pixel_count || !same_pixel(rgb, i + count, i + count + 1))) {
                ++count;
            }
            out.push_back(static_cast<uint8_t>(count - 1));
            for (size_t k = 0; k < count; ++k) put_bgr(out, rgb + (i + k) * 3);
        }
        i += count;
    }
    return out;
}

bool tga_encode(const uint8_t* rgb, int width, int height, bool compress, std::vector<uint8_t>& out) {
    if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) {
        errno = EINVAL;
        return false;
    }
    auto header = tga_header(width, height, compress);
    const size_t pixel_count = static_cast<size_t>(width) * height;
    try {
        out.assign(header.begin(), header.end());
        if (compress) {
            std::vector<uint8_t> body = tga_rle_encode(rgb, pixel_count);
            out.insert(out.end(), body.begin(), body.end());
        } else {
            // The caller's buffer stays untouched: the pixels are turned to BGR in a copy.
            out.resize(TGA_HEADER_SIZE + pixel_count * 3);
            uint8_t* body = out.data() + TGA_HEADER_SIZE;
            for (size_t i = 0; i < pixel_count * 3; i += 3) {
                body[i] = rgb[i + 2];
                body[i + 1] = rgb[i + 1];
                body[i + 2] = rgb[i];
            }
        }
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return false;
    }
    return true;
}

bool tga_write(const char* path, const uint8_t* rgb, int width, int height, bool compress) {
    std::vector<uint8_t> bytes;
    if (!tga_encode(rgb, width, height, compress, bytes)) return false;
    return file_write_whole(path, bytes.data(), TGA_HEADER_SIZE, bytes.data() + TGA_HEADER_SIZE,
                            bytes.size() - TGA_HEADER_SIZE);
}

std::string screenshot_next_name() {
    for (int n = 0; n < SCREENSHOT_MAX; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "screen%02d.tga", n);
        if (!file_exists(name)) return name;
    }
    return "";
}

void screenshot_save(bool compress) {
    std::string name = screenshot_next_name();
    if (name.empty()) {
        warning_message("No screenshot saved: screen00.tga to screen%02d.tga all exist", SCREENSHOT_MAX - 1);
        return;
    }
    if (!screenshot_write(name.c_str(), compress))
        fatal_error("Cannot write the screenshot '%s': %s", name.c_str(), std::strerror(errno));
}

bool screenshot_write(const char* path, bool compress) {
    std::vector<uint8_t> pixels;
    if (!read_pixels_into(pixels, window_settings().gl_width, window_settings().gl_height)) return false;
    return tga_write(path, pixels.data(), window_settings().gl_width, window_settings().gl_height, compress);
}

bool screenshot_encode(std::vector<uint8_t>& out, bool compress) {
    std::vector<uint8_t> pixels;
    if (!read_pixels_into(pixels, window_settings().gl_width, window_settings().gl_height)) return false;
    return tga_encode(pixels.data(), window_settings().gl_width, window_settings().gl_height, compress, out);
}

void screenshot_request() {
    screenshot_wanted = true;
}

void screenshot_take_requested(bool compress) {
    if (!screenshot_wanted) return;
    screenshot_wanted = false;
    screenshot_save(compress);
}

void record_check_folder(bool record) {
    record_without_folder = false;
    // Only the TGA writer needs the folder (a video export hands the frames elsewhere).
    if (!record || frame_output.capture != record_frame_save) return;
    struct stat st;
    if (stat("video", &st) == 0 && S_ISDIR(st.st_mode)) return;
    record_without_folder = true;
    warning_message(
        "record is set but there is no folder 'video' here: the frames are not written "
        "(create the folder to keep them)");
}

void record_frame_save(const Demo& demo) {
    if (record_without_folder) return;
    char name[32];
    std::snprintf(name, sizeof name, "video/%08d.tga", static_cast<int>(demo.frame_count));
    bool written = false;
    if (demo.settings.compress_tga != 0) {
        written =
            read_pixels_into(frame_pixels, window_settings().gl_rttWidth, window_settings().gl_rttHeight) &&
            tga_write(name, frame_pixels.data(), window_settings().gl_rttWidth,
                      window_settings().gl_rttHeight, true);
    } else if (window_settings().gl_rttWidth <= 0xFFFF && window_settings().gl_rttHeight <= 0xFFFF) {
        // Uncompressed, the file holds the rows as GL gives them in BGR order: no copy at all.
        auto header = tga_header(window_settings().gl_rttWidth, window_settings().gl_rttHeight, false);
        written =
            read_pixels_into(frame_pixels, window_settings().gl_rttWidth, window_settings().gl_rttHeight,
                             GL_BGR) &&
            file_write_whole(name, header.data(), header.size(), frame_pixels.data(), frame_pixels.size());
    } else {
        errno = EINVAL;
    }
    if (!written) fatal_error("Cannot write the recorded frame '%s': %s", name, std::strerror(errno));
}
