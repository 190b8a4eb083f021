// Writing and reading the console's note without trusting what stands at its name.
#include "maker/console_note.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "base/io.h"

namespace {}  // namespace

bool console_note_write(const std::string& path, const std::string& line) {
    static std::atomic<unsigned> serial{0};
    // A hidden name beside the note, so that the folder's watcher passes over it meanwhile.
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".new-%ld-%u", static_cast<long>(getpid()), serial++);
    const std::string fresh = path + suffix;
    const int fd = open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    // The umask may have taken bits away; the owner must still read and write it.
    bool written = fchmod(fd, 0600) == 0 && fd_write_all(fd, line + "\n") == 0;
    written = close(fd) == 0 && written;
    if (!written || std::rename(fresh.c_str(), path.c_str()) != 0) {
        unlink(fresh.c_str());
        return false;
    }
    return true;
}

std::string console_note_read(const std::string& path) {
    struct stat before;
    // Looked at before it is opened: opening a device may do something by itself.
    if (lstat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) return "";
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return "";
    struct stat st;
    std::string text;
    // Still the file looked at, and ours.
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == before.st_dev &&
        st.st_ino == before.st_ino && st.st_uid == geteuid() &&
        st.st_size <= static_cast<off_t>(CONSOLE_NOTE_MAX)) {
        char buffer[CONSOLE_NOTE_MAX + 1];
        const size_t got = fd_read_full(fd, buffer, sizeof buffer);
        // A file that grew past the bound since fstat is not a note either.
        if (got <= CONSOLE_NOTE_MAX) text.assign(buffer, got);
    }
    close(fd);
    const size_t end = text.find('\n');
    return end == std::string::npos ? text : text.substr(0, end);
}
