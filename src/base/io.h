// Reads and writes that survive signals, a whole file read at once, and the one spelling of a
// path inside the demo ("./data/a.tga" is "data/a.tga").
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Writes all of `size` bytes to `fd`, going on after interruptions; 0, or the errno of the
// failure (EIO when the descriptor takes nothing).
int fd_write_all(int fd, const void* data, size_t size);
inline int fd_write_all(int fd, std::string_view bytes) {
    return fd_write_all(fd, bytes.data(), bytes.size());
}

// One read(2) that is retried when interrupted: what read returns otherwise.
ssize_t fd_read_some(int fd, void* into, size_t size);

// Reads until `size` bytes, the end or an error; the count read.
size_t fd_read_full(int fd, void* into, size_t size);

// A plain file's whole contents (no archives); false when it cannot be read or holds more than
// `limit` bytes.
bool path_read_all(const char* path, std::string& out, size_t limit = SIZE_MAX);

// `path` without its leading "./" (all of them: "././a" is "a").
std::string_view path_without_dot(std::string_view path);
