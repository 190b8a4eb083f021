// The rule for the files written on a person's word, and the write that lands whole or not at all.
#include "maker/maker_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "base/io.h"
#include "resources/files.h"

namespace {

// An open folder, closed on every path.
struct Folder {
    int fd = -1;
    Folder() = default;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder() {
        if (fd >= 0) close(fd);
    }
};

bool lies_in(const std::string& path, const std::string& folder) {
    return path == folder || path.rfind(folder == "/" ? folder : folder + "/", 0) == 0;
}

// Opens `real` (a folder with its links resolved). Inside the demo folder it is reached one name
// at a time from the folder itself, following no link, so that a link put in its way since it
// was resolved leads nowhere.
bool folder_open(const std::string& real, const std::string& root, bool inside, Folder& out) {
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    if (!inside) {
        out.fd = open(real.c_str(), flags);
        return out.fd >= 0;
    }
    out.fd = open(root.c_str(), flags);
    if (out.fd < 0) return false;
    std::string rest = real.substr(root.size());
    for (size_t at = 0; at < rest.size();) {
        size_t end = rest.find('/', at);
        if (end == std::string::npos) end = rest.size();
        const std::string name = rest.substr(at, end - at);
        at = end + 1;
        if (name.empty()) continue;
        int next = openat(out.fd, name.c_str(), flags | O_NOFOLLOW);
        if (next < 0) return false;
        close(out.fd);
        out.fd = next;
    }
    return true;
}

FileVersion version_of(const struct stat& st) {
    return {st.st_dev, st.st_ino, static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec,
            st.st_size};
}

// Moves the new file `temp` to `name` in `dir`. A name that was free when checked must still be
// free (nothing made meanwhile is replaced); one that held the player's own file is replaced.
bool rename_into_place(int dir, const char* temp, const char* name, bool replace) {
    if (replace) return renameat(dir, temp, dir, name) == 0;
    if (renameat2(dir, temp, dir, name, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag: a new link fails as well when the name is taken.
    if (linkat(dir, temp, dir, name, 0) != 0) return false;
    unlinkat(dir, temp, 0);
    return true;
}

}  // namespace

std::string write_refusal(const WriteFacts& f, WriteAsker who) {
    const bool console = who == WriteAsker::Console;
    if (f.link) return "it is a symbolic link";
    if (who == WriteAsker::Edit) {
        if (!f.inside) return "it lies outside the demo folder";
        if (f.script_name) return "it is a script";
        if (!f.exists || !f.regular || !f.demo_file) return "it is not a file of the demo";
        return "";
    }
    if (f.exists && !f.regular) return "it is not a regular file";
    if (f.demo_file) return "it is a file of the demo";
    if (console && !f.inside) return "it lies outside the demo folder";
    if (f.script_name && !f.ours) return "the player would read it as a script (its name holds '.tvl')";
    if (console && f.exists && !f.ours) return "it exists and the player did not write it";
    return "";
}

std::string archive_holding(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0) return "";
    for (size_t slash = path.rfind('/'); slash != std::string::npos && slash > 0;
         slash = path.rfind('/', slash - 1)) {
        for (zzip_strings_t* ext = file_extensions; *ext != nullptr; ++ext) {
            const std::string archive = path.substr(0, slash) + *ext;
            if (stat(archive.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return archive;
        }
    }
    return "";
}

std::set<FileIdentity> write_identities(const std::set<std::string>& paths) {
    std::set<FileIdentity> out;
    struct stat st;
    for (const std::string& path : paths) {
        const std::string archive = archive_holding(path);
        if (stat((archive.empty() ? path : archive).c_str(), &st) == 0) out.insert({st.st_dev, st.st_ino});
    }
    return out;
}

std::string write_file_guarded(const std::string& path, const std::vector<uint8_t>& bytes, WriteAsker who,
                               WriteGuard& guard, std::string& inside_as) {
    inside_as.clear();
    auto refused = [&](const std::string& why) { return "cannot write '" + path + "': " + why; };
    const size_t slash = path.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == ".." || path.find('\0') != std::string::npos)
        return refused("it names no file");
    char* resolved = realpath(parent.c_str(), nullptr);
    if (resolved == nullptr) return refused(std::strerror(errno));
    const std::string real = resolved;
    std::free(resolved);

    WriteFacts facts;
    facts.inside = !guard.folder.empty() && lies_in(real, guard.folder);
    facts.script_name = facts.inside && name.find(".tvl") != std::string::npos;
    Folder dir;
    if (!folder_open(real, guard.folder, facts.inside, dir)) return refused(std::strerror(errno));
    struct stat st;
    mode_t mode = 0644;
    if (fstatat(dir.fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        mode = st.st_mode & 07777;
        facts.exists = true;
        facts.link = S_ISLNK(st.st_mode);
        facts.regular = S_ISREG(st.st_mode);
        const FileIdentity id{st.st_dev, st.st_ino};
        facts.demo_file = guard.demo.count(id) != 0;
        facts.ours = guard.written.count(version_of(st)) != 0;
    } else if (errno != ENOENT) {
        return refused(std::strerror(errno));
    }
    const std::string why = write_refusal(facts, who);
    if (!why.empty()) return refused(why);

    // The new file is hidden, so that the folder's watcher never sees it half written.
    static unsigned serial = 0;
    char temp[64];
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        std::snprintf(temp, sizeof temp, ".tarvel-%d-%u.tmp", static_cast<int>(getpid()), serial++);
        fd = openat(dir.fd, temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return refused(std::strerror(errno));
    // An edited file keeps its mode whatever the umask.
    bool ok = (who != WriteAsker::Edit || fchmod(fd, mode) == 0) &&
              fd_write_all(fd, bytes.data(), bytes.size()) == 0;
    int error = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && !rename_into_place(dir.fd, temp, name.c_str(), facts.exists)) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlinkat(dir.fd, temp, 0);
        return refused(error == EEXIST ? "a file of that name appeared meanwhile"
                                       : std::strerror(error ? error : EIO));
    }
    // Taken after the rename, which changes the file's status time.
    struct stat made;
    if (fstatat(dir.fd, name.c_str(), &made, AT_SYMLINK_NOFOLLOW) == 0)
        guard.written.insert(version_of(made));
    if (facts.inside) {
        const size_t skip = guard.folder == "/" ? 1 : guard.folder.size() + 1;
        const std::string under = real.size() > guard.folder.size() ? real.substr(skip) : "";
        inside_as = under.empty() ? name : under + "/" + name;
    }
    return "";
}
