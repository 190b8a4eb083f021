// The console's note against what another user of the folder may have put at its name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "maker/console_note.h"
#include "test_support.h"

namespace {

int mode_of(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

}  // namespace

// Whatever stands at the note's name is replaced by a file of ours, readable by us only; what
// it pointed to or shared its bytes with is left as it was.
TEST(ConsoleNote, WrittenAsAFileOfOurOwnWhateverStoodThereAndReadOnlyFromOne) {
    TempDir dir;
    const std::string note = dir.file(".tarvel-console"), outside = dir.file("elsewhere/kept");
    write_file(outside, "kept\n");
    const std::vector<std::pair<const char*, std::function<void()>>> rows = {
        {"none", [] {}},
        {"a hard link to a file", [&] { ASSERT_EQ(link(outside.c_str(), note.c_str()), 0); }},
        {"a symbolic link to a file", [&] { ASSERT_EQ(symlink(outside.c_str(), note.c_str()), 0); }},
    };
    for (const auto& [what, make] : rows) {
        unlink(note.c_str());
        make();
        EXPECT_TRUE(console_note_write(note, "http://127.0.0.1:1/?token=1")) << what;
        EXPECT_EQ(mode_of(note), 0600) << what;
        EXPECT_EQ(console_note_read(note), "http://127.0.0.1:1/?token=1") << what;
        EXPECT_EQ(read_file(outside), "kept\n") << what;
        EXPECT_EQ(mode_of(outside), 0644) << what;
    }
    // Nothing of the writing is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 2);

    // Only a small regular file of ours is read; anything else is no note, at once.
    std::vector<std::pair<const char*, std::function<void()>>> unread = {
        {"a FIFO", [&] { ASSERT_EQ(mkfifo(note.c_str(), 0600), 0); }},
        {"a symbolic link to a note",
         [&] {
             write_file(note + "2", "http://127.0.0.1:1/\n");
             ASSERT_EQ(symlink((note + "2").c_str(), note.c_str()), 0);
         }},
        {"300 MB without a line end",
         [&] {
             write_file(note, "http://127.0.0.1:1/");
             ASSERT_EQ(truncate(note.c_str(), 300 << 20), 0);
         }},
    };
    // Only root can give a file away.
    if (geteuid() == 0) {
        unread.push_back({"another user's", [&] {
                              write_file(note, "http://127.0.0.1:1/\n");
                              ASSERT_EQ(chown(note.c_str(), 65534, 65534), 0);
                          }});
    }
    for (const auto& [what, make] : unread) {
        unlink(note.c_str());
        make();
        EXPECT_EQ(console_note_read(note), "") << what;
    }
}
