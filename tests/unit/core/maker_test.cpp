// The maker's mode as text and as file snapshots: commands, status line, wrapping, changes.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/maker_commands.h"
#include "core/watch.h"
#include "test_support.h"

namespace {

std::string described(const MakerCommand& c) {
    if (!c.error.empty()) return "error " + c.error;
    const char* names[] = {"seek",   "pause", "play",       "loop", "loop off",
                           "reload", "time",  "screenshot", "quit"};
    std::string out = names[static_cast<int>(c.kind)];
    if (c.kind == MakerCommandKind::Seek || c.kind == MakerCommandKind::Loop)
        out += " " + std::to_string(c.from);
    if (c.kind == MakerCommandKind::Loop) out += " " + std::to_string(c.to);
    if (c.kind == MakerCommandKind::Screenshot) out += " [" + c.file + "]";
    return out;
}

}  // namespace

TEST(MakerCommands, LinesToCommandsOrTheReasonTheyAreNot) {
    const std::pair<const char*, const char*> rows[] = {
        {"seek 12.5", "seek 12.500000"},
        {"  seek\t0 \r", "seek 0.000000"},
        {"pause", "pause"},
        {"play", "play"},
        {"loop 1 2.25", "loop 1.000000 2.250000"},
        {"loop off", "loop off"},
        {"reload", "reload"},
        {"time", "time"},
        {"quit", "quit"},
        {"screenshot shots/a b.tga ", "screenshot [shots/a b.tga]"},
        {"", "error empty command"},
        {"seek", "error seek needs one time in seconds, 0 or more"},
        {"seek -1", "error seek needs one time in seconds, 0 or more"},
        {"seek 1e999", "error seek needs one time in seconds, 0 or more"},
        {"seek 2s", "error seek needs one time in seconds, 0 or more"},
        {"loop 2 2", "error loop needs TO after FROM"},
        {"loop 1", "error loop needs FROM and TO in seconds, or off"},
        {"pause now", "error pause takes no argument"},
        {"screenshot", "error screenshot needs a file name"},
        {"Seek 1", "error unknown command 'Seek'"},
    };
    for (const auto& [line, want] : rows) EXPECT_EQ(described(maker_command_parse(line)), want) << line;
}

TEST(MakerCommands, StatusLineAndWrappedMessages) {
    // 83.456 s is 1 minute, 23 seconds and 45 hundredths (truncated, not rounded).
    EXPECT_EQ(maker_status_text(83.456f, false, false, 0, 0), "01:23.45  playing");
    EXPECT_EQ(maker_status_text(-2, true, true, 10, 3725.5f), "00:00.00  paused  loop 00:10.00 - 62:05.50");
    EXPECT_EQ(maker_time_text(0.29f), "00:00.29");
    const std::vector<std::string> lines = {"File 'a b' not", "found", "", "x"};
    EXPECT_EQ(maker_wrap("File 'a b' not found\n\nx", 14), lines);
    EXPECT_EQ(maker_wrap("abcdefgh", 3), (std::vector<std::string>{"abc", "def", "gh"}));
}

TEST(FolderWatch, ChangesBetweenSnapshotsLeaveOutThePlayersOwnFiles) {
    TempDir dir;
    write_file(dir.file("demo.tvl"), "a");
    write_file(dir.file("data/pic.tga"), "b");
    for (const char* output :
         {"video/00000001.tga", "screen07.tga", ".demo.tvl.swp", "data/.git/x", "demo.tvl~", "shot.tga"})
        write_file(dir.file(output), "x");
    const FileSnapshot before = watch_scan(dir.path, {"shot.tga"});
    EXPECT_EQ(before.size(), 2u);
    EXPECT_EQ(before.at("data/pic.tga").size, 1);

    write_file(dir.file("data/pic.tga"), "bb");
    write_file(dir.file("data/new.spl"), "c");
    std::filesystem::remove(dir.file("demo.tvl"));
    write_file(dir.file("screen08.tga"), "x");
    const std::vector<std::string> changed = {"data/new.spl", "data/pic.tga", "demo.tvl"};
    EXPECT_EQ(watch_changes(before, watch_scan(dir.path, {"shot.tga"})), changed);
    // A name that merely looks like a screenshot is the demo's own.
    EXPECT_FALSE(watch_ignored("screen1.tga", {}));
    EXPECT_FALSE(watch_ignored("data/screen07.tga", {}));
}
