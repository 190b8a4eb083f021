#include "base/io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

int fd_write_all(int fd, const void* data, size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

ssize_t fd_read_some(int fd, void* into, size_t size) {
    ssize_t n;
    do n = read(fd, into, size);
    while (n < 0 && errno == EINTR);
    return n;
}

size_t fd_read_full(int fd, void* into, size_t size) {
    auto* p = static_cast<char*>(into);
    size_t got = 0;
    while (got < size) {
        const ssize_t n = fd_read_some(fd, p + got, size - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    return got;
}

bool path_read_all(const char* path, std::string& out, size_t limit) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[65536];
    ssize_t n;
    while ((n = fd_read_some(fd, buffer, sizeof buffer)) > 0 && out.size() <= limit)
        out.append(buffer, static_cast<size_t>(n));
    close(fd);
    return n == 0 && out.size() <= limit;
}

std::string_view path_without_dot(std::string_view path) {
    while (path.substr(0, 2) == "./") path.remove_prefix(2);
    return path;
}
