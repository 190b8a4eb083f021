// Saving pictures: screenshots of the whole window (key S) and, while recording, every frame
// as "video/%08d.tga". Both are 24-bit TGA files, run-length encoded when compress_tga is set,
// written with plain stdio in the working directory.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct Demo;

inline constexpr int TGA_HEADER_SIZE = 18;
inline constexpr int TGA_PACKET_MAX = 127;  // pixels per packet, one less than the format allows
inline constexpr int SCREENSHOT_MAX = 100;

// The 18-byte header: type 2 (raw true-colour) or 10 (run-length encoded), 24 bits per pixel,
// origin at the lower left.
std::array<uint8_t, TGA_HEADER_SIZE> tga_header(int width, int height, bool compressed);

// Run-length packets for `pixel_count` RGB pixels, the whole picture as one stream (packets run
// across row ends); each pixel is stored blue, green, red. The input is not changed.
std::vector<uint8_t> tga_rle_encode(const uint8_t* rgb, size_t pixel_count);

// The whole TGA file for `rgb` (as tga_write takes it) into `out`; false with errno set for a size
// the header cannot hold or memory that could not be had.
bool tga_encode(const uint8_t* rgb, int width, int height, bool compress, std::vector<uint8_t>& out);

// Writes `rgb` (width x height pixels, bottom row first, rows of exactly width x 3 bytes) as a
// TGA file. A file that cannot be created or written whole, or a size the header cannot hold,
// returns false with errno telling why; a file cut short by a failed write is removed.
bool tga_write(const char* path, const uint8_t* rgb, int width, int height, bool compress);

// The first "screenNN.tga" (00 to 99) that does not open through the file layer, or "" when
// all hundred exist.
std::string screenshot_next_name();

// Reads the whole window and saves it under the next free screenshot name, run-length encoded
// when `compress`; with all hundred names taken it warns instead. A file that cannot be written
// whole is a fatal error.
void screenshot_save(bool compress);

// Reads the whole window and writes it to `path`; false with errno set when the file cannot be
// written whole (nothing is left behind then).
bool screenshot_write(const char* path, bool compress);

// Reads the whole window as the TGA file screenshot_write would write; false with errno set.
bool screenshot_encode(std::vector<uint8_t>& out, bool compress);

// Key S asks for a screenshot; the frame loop takes it once the frame is drawn, before the
// buffers are swapped (after the swap the back buffer's contents are undefined).
void screenshot_request();
void screenshot_take_requested(bool compress);

// Checks, when `record` is set, that the folder "video" exists; without it a warning says once
// that the frames are not written, and record_frame_save does nothing.
void record_check_folder(bool record);

// Reads the frame rectangle as the sections left it and saves it as video/<frame_count>.tga.
// A frame that cannot be written whole is a fatal error naming the file and the reason.
void record_frame_save(const Demo& demo);
